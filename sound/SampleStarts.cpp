// SPDX-License-Identifier: GPL-3.0-or-later
#include "sound/SampleStarts.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fluidsynth.h>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace sample_starts {
namespace {

// The sample headers ("shdr") as the loader is to read them: where they are in the
// file, and their bytes with each start moved past the leading silence.
// Silence as the output counts it: under -80 dBFS (3 of 32768).
constexpr int kSilence = 3;

struct Headers {
    long long offset = 0;
    std::vector<char> bytes;
};

uint32_t le32(const char *p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v; // SoundFonts are little-endian, as the machines this runs on
}
uint16_t le16(const char *p) {
    uint16_t v;
    std::memcpy(&v, p, 2);
    return v;
}

bool readAt(FILE *f, long long offset, void *to, size_t n) {
    return fseeko(f, off_t(offset), SEEK_SET) == 0 && std::fread(to, 1, n, f) == n;
}

// Frames of silence at `start` in the 16-bit sample data at `smpl`, looking at
// no more than `limit` frames; `limit` when they are all silent.
uint32_t silentFrames(FILE *f, long long smpl, uint32_t start, uint32_t limit) {
    std::array<int16_t, 512> block{};
    for (uint32_t done = 0; done < limit;) {
        const uint32_t n = std::min<uint32_t>(uint32_t(block.size()), limit - done);
        if (!readAt(f, smpl + 2 * (long long)(start + done), block.data(), 2 * n))
            return 0;
        for (uint32_t i = 0; i < n; ++i)
            if (std::abs(int(block[i])) > kSilence)
                return done + i;
        done += n;
    }
    return limit;
}

std::shared_ptr<const Headers> moveStarts(FILE *f) {
    char riff[12];
    if (!readAt(f, 0, riff, 12) || std::memcmp(riff, "RIFF", 4) != 0 ||
        std::memcmp(riff + 8, "sfbk", 4) != 0)
        return nullptr;
    const long long end = 8 + (long long)le32(riff + 4);
    long long smpl = -1, shdr = -1;
    uint32_t shdrSize = 0;
    int major = 0;
    // The three lists (INFO, sdta, pdta) and the chunks in them.
    for (long long list = 12; list + 12 <= end;) {
        char head[12];
        if (!readAt(f, list, head, 12))
            return nullptr;
        const long long listEnd = list + 8 + le32(head + 4);
        if (std::memcmp(head, "LIST", 4) == 0) {
            for (long long c = list + 12; c + 8 <= listEnd;) {
                char chunk[8];
                if (!readAt(f, c, chunk, 8))
                    return nullptr;
                const uint32_t size = le32(chunk + 4);
                if (std::memcmp(chunk, "ifil", 4) == 0 && size >= 4) {
                    char version[2];
                    if (!readAt(f, c + 8, version, 2))
                        return nullptr;
                    major = le16(version);
                } else if (std::memcmp(chunk, "smpl", 4) == 0) {
                    smpl = c + 8;
                } else if (std::memcmp(chunk, "shdr", 4) == 0) {
                    shdr = c + 8;
                    shdrSize = size;
                }
                c += 8 + size + (size & 1);
            }
        }
        list = listEnd + (listEnd & 1);
    }
    constexpr uint32_t kRecord = 46;
    if (major != 2 || smpl < 0 || shdr < 0 || shdrSize < 2 * kRecord)
        return nullptr;
    auto headers = std::make_shared<Headers>();
    headers->offset = shdr;
    headers->bytes.resize(shdrSize);
    if (!readAt(f, shdr, headers->bytes.data(), shdrSize))
        return nullptr;
    const uint32_t count = shdrSize / kRecord - 1; // the last is the end marker
    std::vector<uint32_t> skip(count, 0);
    char *base = headers->bytes.data();
    const auto field = [&](uint32_t i, int at) { return le32(base + i * kRecord + 20 + at); };
    const auto type = [&](uint32_t i) { return le16(base + i * kRecord + 44); };
    for (uint32_t i = 0; i < count; ++i) {
        const uint32_t start = field(i, 0), stop = field(i, 4), loop = field(i, 8);
        if ((type(i) & 0x8010) != 0 || stop <= start + 1) // ROM or compressed
            continue;
        // Not past the loop's start, and at least one frame left.
        const uint32_t limit = std::min(loop > start ? loop - start : 0, stop - start - 1);
        skip[i] = silentFrames(f, smpl, start, limit);
    }
    for (uint32_t i = 0; i < count; ++i) {
        // A stereo pair (right 2, left 4, linked both ways) stays aligned.
        const uint32_t j = le16(base + i * kRecord + 42);
        if ((type(i) == 2 || type(i) == 4) && j < count && type(j) == 6 - type(i) &&
            le16(base + j * kRecord + 42) == i)
            skip[i] = skip[j] = std::min(skip[i], skip[j]);
    }
    for (uint32_t i = 0; i < count; ++i) {
        const uint32_t start = field(i, 0) + skip[i];
        std::memcpy(base + i * kRecord + 20, &start, 4);
    }
    return headers;
}

// The moved headers of each font file, worked out once per file as it is on disk.
std::shared_ptr<const Headers> headersFor(const char *path, FILE *f) {
    static std::mutex mutex;
    static std::map<std::string, std::pair<std::string, std::shared_ptr<const Headers>>> cache;
    struct stat st {};
    if (fstat(fileno(f), &st) != 0)
        return nullptr;
    const std::string version = std::to_string(st.st_size) + ":" + std::to_string(st.st_mtime) +
                                ":" + std::to_string(st.st_ino);
    std::lock_guard lock(mutex);
    auto &entry = cache[path];
    if (entry.first != version)
        entry = {version, moveStarts(f)};
    return entry.second;
}

struct Handle {
    FILE *file;
    std::shared_ptr<const Headers> headers;
};

void *openFont(const char *path) {
    FILE *f = std::fopen(path, "rb");
    if (!f)
        return nullptr;
    auto *h = new Handle{f, headersFor(path, f)};
    std::rewind(f);
    return h;
}

int readFont(void *buffer, fluid_long_long_t count, void *handle) {
    auto *h = static_cast<Handle *>(handle);
    const long long at = ftello(h->file);
    if (count < 0 || std::fread(buffer, 1, size_t(count), h->file) != size_t(count))
        return FLUID_FAILED;
    if (const Headers *moved = h->headers.get()) {
        // The part of the sample headers this read covers comes from the moved copy.
        const long long from = std::max(at, moved->offset);
        const long long to = std::min(at + count, moved->offset + (long long)moved->bytes.size());
        if (from < to)
            std::memcpy(static_cast<char *>(buffer) + (from - at),
                        moved->bytes.data() + (from - moved->offset), size_t(to - from));
    }
    return FLUID_OK;
}

int seekFont(void *handle, fluid_long_long_t offset, int origin) {
    return fseeko(static_cast<Handle *>(handle)->file, off_t(offset), origin) == 0 ? FLUID_OK
                                                                                   : FLUID_FAILED;
}

fluid_long_long_t tellFont(void *handle) {
    return ftello(static_cast<Handle *>(handle)->file);
}

int closeFont(void *handle) {
    auto *h = static_cast<Handle *>(handle);
    std::fclose(h->file);
    delete h;
    return FLUID_OK;
}

} // namespace

void install(fluid_synth_t *synth, fluid_settings_t *settings) {
    fluid_sfloader_t *loader = new_fluid_defsfloader(settings);
    if (!loader)
        return;
    fluid_sfloader_set_callbacks(loader, openFont, readFont, seekFont, tellFont, closeFont);
    fluid_synth_add_sfloader(synth, loader); // tried before the default loader
}

} // namespace sample_starts
