#pragma once

// ORVEX_ASAN is defined in a tree built with AddressSanitizer, whose allocator keeps freed
// memory in quarantine: bounds on resident memory say nothing there.
#if defined(__SANITIZE_ADDRESS__)
#define ORVEX_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ORVEX_ASAN 1
#endif
#endif
