// The libraries' hulls (peers/): each library's entries and version, where this build has it.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "lab.h"

namespace lab {

// Each library's peers, where this build has the library (peers/*.cpp).
void addCgalPeers(std::vector<Algorithm>& list);
void addBoostPeers(std::vector<Algorithm>& list);
void addGeosPeers(std::vector<Algorithm>& list);
void addOpencvPeers(std::vector<Algorithm>& list);
void addQhullPeers(std::vector<Algorithm>& list);
std::string cgalVersion();  // each library's version, as it names it
std::string boostVersion();
std::string geosVersion();
std::string opencvVersion();
std::string qhullVersion();

// The example plugin's monotone chain built in (user/chain_builtin.cpp), in a build that asks for
// it: the corners counter-clockwise from the least point. O(n log n).
std::vector<Point> chainBuiltin(std::vector<Point> points);

// The libraries of this build's peers: name and version, in the order of the peers.
std::vector<std::pair<std::string, std::string>> libraries();

}  // namespace lab
