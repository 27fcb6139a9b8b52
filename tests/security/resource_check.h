// Whether a built program carries every resource it loads: the resources tools/pe_image reads
// from its file, against the names of resources/resource_names.h. A link that leaves resources
// out (objects of an object library never reach a program that links it through another one)
// shows here, on the build machine, instead of as a folder chooser without its pictures.
#pragma once

#include <string>
#include <vector>

#include "resources/resource_names.h"
#include "tools/pe_image.h"

namespace resource_check {

// A resource as a listing shows it: BITMAP "FLOPPY", VERSION 1.
std::string Describe(const resource_names::Resource& resource);

// One line for each of `needed` that `held` lacks, in the order of `needed`, such as
// `lacks BITMAP "FLOPPY"`; empty when nothing is missing. Names match as the loader matches
// them (ASCII letters in either case, any language). A group icon counts only with every icon it
// names (`lacks ICON 2 of GROUP_ICON "MAINICON"`); one that names none, or is too short for the
// entries it declares, is reported as such.
std::vector<std::string> Missing(const std::vector<pe::Resource>& held,
                                 const std::vector<resource_names::Resource>& needed);

}  // namespace resource_check
