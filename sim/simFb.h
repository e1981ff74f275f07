// The front panel's LCD frame buffer: /dev/fb0 of 256 x 64 pixels, 16 bits
// each, lines of 512 bytes. Its 32,768 bytes are the sandbox file sim/fb0,
// which every process maps, so tools see what the display program drew; the
// sandbox's /dev/fb0 is a link to it for shell redirections. The board also
// has the blanking control /sys/class/graphics/fb0/blank and a boot image
// /usr/local/imgs/radio.bmp of the frame buffer's size.
//
// Knob: the sandbox file sim/fb0.fail, one word a line: "open" fails the
// open, "fscreen" and "vscreen" the two queries, "map" the mapping, and
// "yres N" reports N lines instead of 64.
#pragma once

#include <cstddef>
#include <string>

class IoDevice;

constexpr int kSimFbWidth = 256;
constexpr int kSimFbHeight = 64;
constexpr size_t kSimFbSize = kSimFbWidth * kSimFbHeight * 2;

IoDevice* simFbDevice();
// Makes the frame-buffer file, its /dev/fb0 link, the blanking control and
// the boot image when missing. 0 or -1.
int simFbInstall();
// Host path of the frame-buffer file of the attached sandbox.
std::string simFbPath();
