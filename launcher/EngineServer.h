#pragma once
// The COM side of an execution engine DLL: class factory, engine object,
// error objects, registration and the DLL's exports, for the engine class of
// EngineContract.h. What the engine does is supplied by the DLL that links
// this in (zkQuoteForgeEngine.dll runs the application; the test engines
// give chosen results), through the two functions below. Windows only.

#include "launcher/EngineContract.h"

#include <cstdint>
#include <optional>
#include <string>

// A failure to hand back as an error object with this description.
struct EngineFailure {
    long result;
    std::u16string description;
};

// Set-class-source with the arguments as the caller gave them (kind, record,
// record size): S_OK, S_FALSE or an error.
long engineSetClassSource(std::uint32_t kind, const void* data, std::uint32_t size);

// Runs the request (its size already checked); returns when the application
// has ended. A result with failure set comes back with an error object.
long engineExecute(const ExecutionRequest& request, std::optional<std::u16string>& failure);
