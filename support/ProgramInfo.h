#pragma once
// The program's name, version and dates: shown in the banner, written in the
// start-up log lines and available to captions through the %QF macros.

namespace ProgramInfo {

inline constexpr const char* ZeVersion = "1.05";
inline constexpr const char* ZeDate = "27/03/2001";
inline constexpr const char* ZeDateModif = "21/11/2001";
inline constexpr const char* ZeProgram = "zkQuoteForge";

}  // namespace ProgramInfo
