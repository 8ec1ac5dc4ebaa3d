// The world file: a TOML description of the peers on the air (docs/world.md). Read with toml++; every
// key is checked (an unknown key is an error, so a typing mistake does not pass silently) and every
// access point is validated (air/access_point.h, ValidateApConfig).
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "air/access_point.h"
#include "air/replay.h"

namespace sim::air {

struct WorldConfig {
    std::string name;
    std::vector<ApConfig> accessPoints;
    std::vector<ReplayFrame> frames;  // raw frames on the air ([[frame]])
};

// None, with the reason (and the line where toml++ knows it), when the text is not a usable world.
std::optional<WorldConfig> ParseWorld(const std::string& text, std::string* error);
std::optional<WorldConfig> LoadWorldFile(const std::string& path, std::string* error);

// The built-in world, as a world file.
const char* BuiltInWorldText();

}  // namespace sim::air
