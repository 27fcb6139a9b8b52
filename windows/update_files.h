// The two replacement files of the update, in the order they are written: the one table that
// the update command and the start-up recovery share.
#pragma once

#include <vector>

#include "payload/install.h"
#include "resources/resource_names.h"

inline const std::vector<PayloadTarget> kUpdateFiles = {
    {resource_names::kExe, "VELDRAN.EXE"},
    {resource_names::kDat2, "mg_data2.mbl"},
};
