// Stand-ins for the audio-processor coefficient engine: nothing is read or
// written to the FPGA; each loader keeps the block it was handed (see
// apLoaderLog.h).
#include "audio/audioProcessor.h"

#include "pending/audio/apLoaderLog.h"

namespace {

void record(const char* loader, const AudioProcessorBlock& block)
{
    apLoaderLog().push_back({loader, block});
}

} // namespace

std::vector<ApLoaderCall>& apLoaderLog()
{
    static std::vector<ApLoaderCall> log;
    return log;
}

void AP_ReadMeters() {}

void AP_SetCommonStage(AudioProcessorBlock block)
{
    record("AP_SetCommonStage", block);
}

void AP_SetCompressor(AudioProcessorBlock block)
{
    record("AP_SetCompressor", block);
}

void AP_SetTimeConstants(AudioProcessorBlock block)
{
    record("AP_SetTimeConstants", block);
}

void AP_SetLimiter(AudioProcessorBlock block)
{
    record("AP_SetLimiter", block);
}

void AP_SetEqualizer(AudioProcessorBlock block)
{
    record("AP_SetEqualizer", block);
}

void AP_SetEconMode(AudioProcessorBlock block)
{
    record("AP_SetEconMode", block);
}
