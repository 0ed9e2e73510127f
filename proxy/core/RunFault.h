// Run-time faults as the proxy reports them: each routine that can fault
// catches at its end and logs its prefix, a fault number and a description
// taken from the one table below.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

struct RunFault {
    int number;
    std::string_view description;
};

inline constexpr RunFault FAULT_INVALID_CALL{5, "Invalid procedure call or argument"};
inline constexpr RunFault FAULT_OVERFLOW{6, "Overflow"};
inline constexpr RunFault FAULT_OUT_OF_MEMORY{7, "Out of memory"};
inline constexpr RunFault FAULT_SUBSCRIPT{9, "Subscript out of range"};
inline constexpr RunFault FAULT_STRING_SPACE{14, "Out of string space"};
inline constexpr RunFault FAULT_INTERNAL{51, "Internal error"};
inline constexpr RunFault FAULT_FILE_ACCESS{75, "Path/File access error"};

// Legend of the INTERNAL ERROR lines: each routine that catches its own
// faults logs one of these prefixes, named after the routine it stands for.
inline constexpr std::string_view FAULT_IN_TICK = "INTERNAL ERROR t1 ";            // pump tick
inline constexpr std::string_view FAULT_IN_COLLECT = "INTERNAL ERROR pc ";         // PacketCollect
inline constexpr std::string_view FAULT_IN_REMOVE = "INTERNAL ERROR pcr ";         // PacketRemove
inline constexpr std::string_view FAULT_IN_PLUG_EVENT = "INTERNAL ERROR cp ";      // PlugEvent
inline constexpr std::string_view FAULT_IN_HOST_LOGIN = "INTERNAL ERROR c1c ";     // "Host login"
inline constexpr std::string_view FAULT_IN_LOAD = "INTERNAL ERROR fl ";            // window load
inline constexpr std::string_view FAULT_IN_UNLOAD = "INTERNAL ERROR ul ";          // window unload
inline constexpr std::string_view FAULT_IN_PLUG_INIT = "INTERNAL ERROR pi ";       // PlugInit
inline constexpr std::string_view FAULT_IN_PLUG_CALLBACK = "INTERNAL ERROR pcb ";  // PlugCallback
inline constexpr std::string_view FAULT_IN_RESPONSE = "INTERNAL ERROR r ";         // Response

// A file that could not be opened or written where the routine needs it.
class FileAccessError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// The table entry for the exception being handled; call only inside a catch.
RunFault currentFault() noexcept;

// prefix + number + " " + description for the exception being handled; call
// only inside a catch. Example: "INTERNAL ERROR t1 6 Overflow".
std::string faultLine(std::string_view prefix);
