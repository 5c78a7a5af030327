// What the two stores share (history/store.cpp, history/store_postgres.cpp).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "history/history.h"

namespace lab {

// A run's figures as a store keeps them, "1e-05,1.1e-05", and read back. O(figures).
std::string joinedFigures(const std::vector<double>& values);
std::vector<double> parsedFigures(const std::string& text);

// The store in PostgreSQL at `address` (postgresql://...), its schema made or migrated. Throws
// StoreError where the server cannot be reached or its store is of a newer version.
std::unique_ptr<Store> openPostgresStore(const std::string& address);

}  // namespace lab
