// The boots kept on disk, read back: one session's boot from its Term.txt
// and Term.times, and at start-up the last boot of each route (from the
// last run's Term.txt, else the newest kept session of the route that
// holds one), so that the first boot of a run is compared with the last of
// the run before.
#pragma once
#include <array>
#include <string>

#include "compare/boot_lines.hpp"
#include "config/store.hpp"

namespace qb7 {

// path: the session's files without extension ("dir/Term-20261210-080000-r0").
// False with the reason when they cannot be read or hold no boot.
bool ReadSessionBoot(const std::string& path, Boot& boot, std::string& error);

// The route a session ran on, from its first records (-1: not told).
int RouteOfSession(const std::string& path);

// log: the log's name in the program's folder (Term.txt). Reads at most a
// few sessions per route.
std::array<Boot, Store::kRoutes> ReadLastBoots(const std::string& log);

}  // namespace qb7
