#pragma once
// The module container the launcher carries in its resources (RCDATA 1000)
// and hands to the execution engine, which reads and checks it.
//
// Layout, all integers 32-bit little-endian, offsets from the start:
//   "DNRC", entry count N, 2, 0;
//   N entries of 20 bytes: name offset, payload size, payload offset, -1, -1;
//   the N names, 8-bit text each ending in a 0 byte, in entry order;
//   the N payloads back to back in entry order, no alignment.
// The container ends with the last payload. scripts/make-module-container
// writes it at build time; nothing here allocates beyond the result.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct ContainerModule {
    std::string name;  // relative path with its extension, "/" between folders
    std::string_view payload;  // points into the container's bytes
};

// True when bytes start with the header of another layout than this one
// ("DNRC" then header values other than 2 and 0): a newer engine is needed,
// which is no broken container.
bool isLaterContainerLayout(std::string_view bytes);

// Checks every rule of the layout; on success fills modules (in entry order)
// and returns true, otherwise says in error which rule failed.
bool readModuleContainer(std::string_view bytes, std::vector<ContainerModule>& modules, std::string& error);

// The module of the entry-module name: "<name>.module", its case ignored.
std::optional<ContainerModule> findEntryModule(const std::vector<ContainerModule>& modules, std::string_view entry);
