// Whether the tests run under a sanitizer or an emulator, so that long loops
// can take a thinner sample there (a sanitized decode, or one under
// qemu-aarch64, is many times slower).
#pragma once

namespace hvdv_test {

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) || __has_feature(memory_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif

#if defined(HVDV_TEST_THIN) && HVDV_TEST_THIN
constexpr bool kThinSample = true;
#else
constexpr bool kThinSample = kSanitized;
#endif

}  // namespace hvdv_test
