// Serial channels of the unit links (channel 1: the UECP port).
#pragma once

// Closes serial channel ch and opens it again.
void COM_ReopenSerialChannel(int ch);
// Closes the serial channels.
void COM_CloseSerialChannels(int ch);
