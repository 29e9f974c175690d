// The input of the level targets: u8 selector (its low bits choose one of
// the level names with special rules, its high bit an option of the
// target), u32 scene file length, the scene file, u32 database length, the
// database, then the pixel file. The seeds of one serve them all.
#pragma once

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <span>
#include <string>

#include "diag/log.h"
#include "files/block_file.h"
#include "headless/headless_level.h"
#include "platform/scripted_platform.h"

struct LevelInput {
    std::string level;
    bool option = false;
    std::span<const std::uint8_t> grf, pid, swp;
};

inline std::span<const std::uint8_t> TakeLengthPrefixed(const std::uint8_t*& data, std::size_t& size) {
    if (size < 4) {
        data += size;
        size = 0;
        return {};
    }
    const std::size_t n = std::min<std::size_t>(LoadU32(data), size - 4);
    const std::span<const std::uint8_t> part(data + 4, n);
    data += 4 + n;
    size -= 4 + n;
    return part;
}

// False when there is not even a selector.
inline bool SplitLevelInput(const std::uint8_t* data, std::size_t size, LevelInput& out) {
    static const char* const kLevels[] = {"level", "testscene", "be", "it", "sum", "ij"};
    if (size < 1) return false;
    out.level = kLevels[(data[0] & 0x7F) % std::size(kLevels)];
    out.option = (data[0] & 0x80) != 0;
    ++data;
    --size;
    out.grf = TakeLengthPrefixed(data, size);
    out.pid = TakeLengthPrefixed(data, size);
    out.swp = {data, size};
    return true;
}

// The level of an input loaded quietly from memory, on a scripted platform
// that stays current while this lives. loaded: false without a selector.
struct FuzzLevel {
    FuzzLevel(const std::uint8_t* data, std::size_t size, bool withGround) {
        loaded = SplitLevelInput(data, size, input);
        if (!loaded) return;
        SetConsoleStream(nullptr);
        headless::LoadFromMemory(input.grf, input.pid, input.swp, input.level, withGround);
    }
    platform::ScriptedPlatform pf;
    platform::PlatformScope scope{pf};
    LevelInput input;
    bool loaded = false;
};
