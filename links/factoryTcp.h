// Factory TCP command server (port 50000).
#pragma once

// Opens the non-blocking listening socket. 0, or -1 on failure.
int initFactoryTcpSocket();
// One turn of the server, on every main-loop pass: accepts, reads, runs and
// answers factory commands without blocking.
void runFactoryTcpServer();
