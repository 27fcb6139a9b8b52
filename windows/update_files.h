// The two replacement files of the update, in the order they are written: the one table that
// the update command and the start-up recovery share.
#pragma once

#include <vector>

#include "payload/install.h"

inline const std::vector<PayloadTarget> kUpdateFiles = {
    {"EXE", "VELDRAN.EXE"},
    {"DAT2", "mg_data2.mbl"},
};
