// The new name proposed when a recovered file's name is taken: "_kx_<n>" before the extension.
#pragma once

#include <cstdint>
#include <functional>

#include "framework/pure/cstring.h"

// How many numbers the proposal tries before it gives up (a folder full of "_kx_" names, or an
// existence test that always says yes, must not keep the question from opening).
constexpr uint64_t kRenameCandidateLimit = 100000;

// The candidate with number `counter` for a full path: the folder part (up to and including the
// last "\") stays; a name with a dot gets "_kx_<n>" before its last dot, a name without one gets it
// at the end. "C:\Out\a.txt" -> "C:\Out\a_kx_0.txt", "a.b.c" -> "a.b_kx_0.c", "README" ->
// "README_kx_0", "x." -> "x_kx_0.".
CString RenameCandidate(const CString& path, uint64_t counter);

// The first candidate, counting from 0, for which `exists` is false; empty when the first `limit`
// candidates all exist.
CString FirstFreeRenameCandidate(const CString& path, const std::function<bool(const CString&)>& exists,
                                 uint64_t limit = kRenameCandidateLimit);
