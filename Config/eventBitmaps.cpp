// Event bitmaps.
//
// The bit operations are called from the main loop's alarm steps, "Ltx
// Thread" and the SMS code; each is one atomic operation on its byte, so two
// threads setting bits of the same byte never undo each other, and the
// DbPool copy of a byte ends equal to the byte.
#include "Config/eventBitmaps.h"

#include "Config/StrutturaDati.h"
#include "comtab/dbPool.h"
#include "core/base/logs.h"

#include <atomic>
#include <cstddef>
#include <cstring>

namespace {

struct Bitmap {
    uint8_t* bytes;
    uint32_t size;
};

Bitmap eventBitmap()
{
    return {getSystemImage()->change.EventBitmap, EVENT_BITMAP_BYTES};
}

Bitmap delayedBitmap()
{
    return {getSystemImage()->change.DelayedEventBitmap, DELAYED_EVENT_BITMAP_BYTES};
}

Bitmap smsBitmap()
{
    return {getSystemImage()->change.SmsEventBitmap, SMS_EVENT_BITMAP_BYTES};
}

Bitmap ampBitmap()
{
    return {getSystemImage()->change.AmpEventBitmap, AMP_EVENT_BITMAP_BYTES};
}

// Sets or clears one bit of byte k; returns k when the byte changed, else -1.
int changeBit(Bitmap b, uint32_t k, uint8_t mask, uint8_t on)
{
    if (k >= b.size || mask == 0)
        return -1;
    std::atomic_ref<uint8_t> byte(b.bytes[k]);
    uint8_t old = on ? byte.fetch_or(mask) : byte.fetch_and(static_cast<uint8_t>(~mask));
    bool changed = on ? !(old & mask) : (old & mask);
    return changed ? static_cast<int>(k) : -1;
}

// Bit n, 1-based; -1 when the bitmap has no such bit.
int changeNumberedBit(Bitmap b, uint8_t on, uint16_t n)
{
    if (n == 0)
        return -1;
    return changeBit(b, (n - 1u) / 8u, static_cast<uint8_t>(1u << ((n - 1u) % 8u)), on);
}

// Bit n, and the publish of its byte when it changed.
void changeAndPublish(Bitmap b, uint8_t on, uint16_t n, void (*publish)(uint32_t k))
{
    int k = changeNumberedBit(b, on, n);
    if (k >= 0 && publish)
        publish(static_cast<uint32_t>(k));
}

uint8_t readByte(Bitmap b, uint32_t k)
{
    return k < b.size ? std::atomic_ref<uint8_t>(b.bytes[k]).load() : 0;
}

uint8_t readBit(Bitmap b, uint16_t n)
{
    if (n == 0)
        return 0;
    return (readByte(b, (n - 1u) / 8u) >> ((n - 1u) % 8u)) & 1u;
}

} // namespace

namespace {

// Copies byte k into its DbPool area. A thread that changed another bit of
// the byte meanwhile may have written its copy first: the copy is made again
// until the byte read back is the one written, so the last copy wins.
void mirrorByte(Bitmap b, uint32_t k, uint32_t section, uint32_t item)
{
    if (k >= b.size)
        return;
    uint8_t v = readByte(b, k);
    for (;;) {
        setDbAreaByte(section, item, k, v);
        // The copy must be visible before the byte is read back, or a late
        // copy of an older value could land after another thread's newer one.
        std::atomic_thread_fence(std::memory_order_seq_cst);
        uint8_t now = readByte(b, k);
        if (now == v)
            return;
        v = now;
    }
}

} // namespace

void dbUpdateEventBitmapByte(uint32_t k)
{
    mirrorByte(eventBitmap(), k, 4, 1);
}

void dbUpdateAmpEventBitmapByte(uint32_t k)
{
    mirrorByte(ampBitmap(), k, 40, 44);
}

void setEventBit(uint8_t on, uint16_t n)
{
    changeAndPublish(eventBitmap(), on, n, dbUpdateEventBitmapByte);
}

void setEventBitAt(uint8_t on, uint8_t bit, uint8_t byte, uint8_t group)
{
    uint8_t mask = bit < 8 ? static_cast<uint8_t>(1u << bit) : 0;
    int k = changeBit(eventBitmap(), byte + 4u * group, mask, on);
    if (k >= 0)
        dbUpdateEventBitmapByte(static_cast<uint32_t>(k));
}

uint8_t getEventBit(uint16_t n)
{
    return readBit(eventBitmap(), n);
}

uint8_t getEventBitmapByte(uint32_t k)
{
    return readByte(eventBitmap(), k);
}

void exportEventBitmap(uint8_t* buffer)
{
    if (!buffer) {
        logErr("Error exporting the bitmap\n\n");
        return;
    }
    for (uint32_t k = 0; k < EVENT_BITMAP_BYTES; k++)
        buffer[k] = getEventBitmapByte(k);
}

void setStatusBitA(uint8_t on, uint16_t n)
{
    changeAndPublish(delayedBitmap(), on, n, nullptr);
}

uint8_t getStatusBitA(uint16_t n)
{
    return readBit(delayedBitmap(), n);
}

void setStatusBitB(uint8_t on, uint16_t n)
{
    changeAndPublish(ampBitmap(), on, n, dbUpdateAmpEventBitmapByte);
}

uint8_t getStatusBitB(uint16_t n)
{
    return readBit(ampBitmap(), n);
}

uint8_t getStatusBitmapBByte(uint32_t k)
{
    return readByte(ampBitmap(), k);
}

void setStatusBitC(uint8_t on, uint16_t n)
{
    changeAndPublish(smsBitmap(), on, n, nullptr);
}

uint8_t getStatusBitC(uint16_t n)
{
    return readBit(smsBitmap(), n);
}
