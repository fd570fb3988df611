// What a path is written with and what it may be an alias of on this computer: the environment
// variables that paths begin with, drives redirected to the network or substituted to a folder,
// this computer's shares under its name, 127.0.0.1 and its IPv4 addresses, and the name of a host
// given by its address. Read from the system on request; the host's own addresses are looked up
// once per process.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace KvPathAliases {

typedef std::map<std::wstring, std::wstring> CAliasMap;

// The variables that paths may begin with, in the order they are read: when two have the same
// value the later one owns the value (on a 64-bit system %ProgramW6432% wins over %ProgramFiles%).
extern const wchar_t* const PathVariableNames[8];

// A variable's value (case kept) -> its name between percent signs ("%SystemRoot%"). A variable
// that is not set, or set but empty, has no entry (an empty value would begin every path).
CAliasMap ReadPathVariables();

// "X:" -> the universal name of a drive redirected to the network, or the folder a drive is
// substituted to ("\??\" taken off).
CAliasMap ReadDriveAliases();

// "\\computer\share", "\\127.0.0.1\share" and "\\address\share" for each IPv4 address of this
// computer -> the share's local folder, for every share with a local folder. Empty when the
// computer's name cannot be read. The address forms need Windows Sockets initialised.
CAliasMap ReadShareAliases();

// This computer's IPv4 addresses in dotted form, as the host look-up gives them, in its order.
// The look-up costs tens of milliseconds: a successful answer is kept for the process; a failed
// one (Windows Sockets not initialised) is not kept and is asked again next time.
std::vector<std::wstring> LocalAddresses();

// How a drive at a path's start is looked up in the drive map.
enum EDriveCase {
    DriveAsWritten, // "c:" does not find "C:"
    DriveAnyCase    // the drive letter is upper-cased first
};

// The path with the drive at its start replaced by its alias, again and again while the result
// begins with a drive that has one; a chain of substitutions that leads back to itself ends after
// one step per drive letter (26).
std::wstring FollowDriveAliases(std::wstring path, const CAliasMap& drives, EDriveCase driveCase);

// The name of the host given by `host` as a dotted IPv4 address of four decimal parts (nothing
// else is taken for an address, though the platform's parser also reads "1234" or "0x7f.1"), cut
// at its first "." and at 127 characters; empty when `host` is no such address, is the broadcast
// address, or the look-up gives no name. Needs Windows Sockets initialised.
std::wstring HostNameOfAddress(const std::wstring& host);

// For a UNC path "\\host\..." whose host is an IPv4 address with a name: the path with that host
// part (and only it) written by name. 1 when the path was changed.
int WriteHostByName(std::wstring& path);

} // namespace KvPathAliases
