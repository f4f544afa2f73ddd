// Runs test code under a cap on the address space, to show what it does
// when memory cannot be had. AddressSanitizer's shadow memory cannot live
// under such a cap: kAddressLimits is false in sanitized builds.
#pragma once

#include <cstddef>
#include <functional>

#if defined(__SANITIZE_ADDRESS__)
const bool kAddressLimits = false;
#else
const bool kAddressLimits = true;
#endif

// Caps this process's address space at what it maps now plus `extra`
// bytes, large blocks always taken as new mappings; false when it cannot.
bool LimitAddressSpace(size_t extra);

// Runs `work` in a child process capped at `extra` bytes more than this
// one maps now (uncapped without kAddressLimits); true when it returned true
// there and the child ended normally.
bool RunsWithin(size_t extra, const std::function<bool()>& work);
