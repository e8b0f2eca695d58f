#pragma once

#include "CardFileSystem.h"

#include <string>
#include <vector>

namespace quorvex {

// A deleted FAT entry without its long name has lost the first letter of its short name (the
// file system marks it deleted there; the name comes as "_MG_0105.JPG"). Restores it from the
// names around it in the same folder when they share the pattern ("IMG_0104.JPG" gives
// "IMG_0105.JPG"): the other names of the same length whose letters after the first are the same
// but for digits, all with the same first letter. Names it cannot restore keep their '_'.
void RestoreLostFirstLetters(std::vector<CardFile>& files);

}  // namespace quorvex
