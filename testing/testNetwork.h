// A private network for a test: the board's two Ethernet ports as a veth
// pair, none of the machine's interfaces in reach.
#pragma once

#include <functional>

// Moves the calling thread into a new network namespace with lo, eth0 and
// eth1 up; false when the machine allows no such namespace (or the thread
// would still be in the machine's own one).
bool enterBoardNetwork();
// Runs `body` in a forked child that entered such a network. The child's
// failed expectations fail the calling test (see the child's output); the
// test is skipped where no namespace of its own can be made.
void inBoardNetwork(const std::function<void()>& body);
