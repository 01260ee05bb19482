#pragma once
// File moves for the remedies: the shell's move (wildcards, renaming on collision) and a plain
// move that never replaces a file; and starting a program through the shell.

#include <string>

namespace sentrel::platform {

// Moves with the shell file operation FO_MOVE, flags FOF_SILENT, FOF_NOCONFIRMATION and
// FOF_RENAMEONCOLLISION, no owner window. `source` may hold wildcards in its name part; then
// each match is moved by its own operation. Paths of any length the shell takes are passed whole
// (double-zero-terminated buffers of their own size). True when every operation reports success
// and none was aborted (a wildcard that matches nothing moves nothing and is no failure).
bool ShellMove(const std::string& source, const std::string& destination) noexcept;

// Moves a file, copying it when the target lies on another volume, never over an existing
// file. False when it could not be moved (the last error tells why).
bool MoveFileKeepingTarget(const std::string& from, const std::string& to) noexcept;

// Opens `file` through the shell with the verb "open", `parameters` (none when empty), no
// working folder and the given show mode. True when the shell started it.
bool ShellOpen(const std::string& file, const std::string& parameters, int showCommand) noexcept;

}  // namespace sentrel::platform
