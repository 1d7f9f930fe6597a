#pragma once
// Synthetic test portraits: each is a picture, an outline and a background.

#include <string>
#include <vector>

#include "WltEncoder.h"

namespace wltenc {

struct SyntheticPortrait {
    std::string name;
    Portrait picture;
    Outline outline;
    Rgb background;
};

// Names: "flat", "gradient", "face", "noise", "tiny", "dot", "border"; and,
// outside that list, "idphoto": the face on a card portrait's white (the
// simulated cards' stock portrait).
std::vector<std::string> syntheticNames();
// Throws std::invalid_argument for an unknown name.
SyntheticPortrait makeSynthetic(const std::string& name);

// A head-and-shoulders outline that touches the bottom and both sides.
Outline headAndShoulders();

}  // namespace wltenc
