# find_package(HullLab): the plugin interface of an installed hull-lab.
#   HullLab::plugin   the target a plugin links to: it adds the folder of hull_lab_plugin.h
#   HullLab_LAB       the installed hull-lab program, to run a plugin with
include("${CMAKE_CURRENT_LIST_DIR}/HullLabTargets.cmake")
get_filename_component(_hull_lab_prefix "${CMAKE_CURRENT_LIST_DIR}/../../.." ABSOLUTE)
set(HullLab_LAB "${_hull_lab_prefix}/bin/hull-lab")
unset(_hull_lab_prefix)
