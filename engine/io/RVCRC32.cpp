#include "engine/io/RVCRC32.h"

#include <immintrin.h>
#include <libdeflate.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstddef>

#include "engine/io/RVCRC32Internal.h"

namespace {

// The generator P = x^32 + ..., bit-reflected as the CRC register holds it:
// bit i is the coefficient of x^(31 - i), and x^32 is implied.
constexpr uint32_t kPolynomial = 0xEDB88320u;

constexpr std::array<uint32_t, 256> makeTable() {
  std::array<uint32_t, 256> table{};
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t c = i;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? kPolynomial ^ (c >> 1) : c >> 1;
    table[i] = c;
  }
  return table;
}

constexpr std::array<uint32_t, 256> kTable = makeTable();

// ---------------------------------------------------------------------------
// Folding constants.
//
// A little-endian load of message bytes puts the earliest bit (the highest
// power) at bit 0, so a W-bit register holds the polynomial whose x^d
// coefficient is bit W-1-d. With init and final complement aside, the CRC
// register after a message M is M(x) * x^32 mod P, and XORing the running
// value into the first four bytes accounts for it. The kernel keeps
// 128-bit chunks congruent to the message so far mod P and multiplies them
// forward by x^D as more chunks arrive; only one final reduction is exact.
//
// PCLMULQDQ on two 64-bit reflected operands a, b yields x * a(x) * b(x) as a
// 128-bit reflected value: the 127-bit product starts at bit 0, one place
// short of where its degree would put it.

// x^n mod P, reflected.
constexpr uint32_t xPowerModP(unsigned n) {
  uint32_t r = 0x80000000u;  // x^0
  // Times x is a shift towards bit 0; an x^32 falling out is replaced by P - x^32.
  for (; n > 0; --n) r = (r >> 1) ^ ((r & 1) ? kPolynomial : 0);
  return r;
}

// The operand that turns a 64-bit reflected operand a into a * x^e (mod P):
// x^(e-1) mod P, the x^-1 paying for the product's extra x. Placed in the
// upper half, it reads as a polynomial of degree below 32, so the product has
// degree below 96 and can feed the final reduction.
constexpr uint64_t foldConstant(unsigned e) { return uint64_t{xPowerModP(e - 1)} << 32; }

constexpr uint32_t reverseBits(uint32_t v) {
  uint32_t r = 0;
  for (int i = 0; i < 32; ++i) r |= ((v >> i) & 1u) << (31 - i);
  return r;
}

// P in normal order (bit i is x^i), all 33 bits.
constexpr uint64_t kPolynomialNormal = (uint64_t{1} << 32) | reverseBits(kPolynomial);

// floor(x^64 / P), normal order, 33 bits: the Barrett quotient estimate.
constexpr uint64_t barrettMu() {
  uint64_t q = uint64_t{1} << 32;                        // the leading term x^32
  uint64_t r = (kPolynomialNormal & 0xFFFFFFFFu) << 32;  // x^64 - x^32 * P
  for (int d = 31; d >= 0; --d) {
    if ((r >> (d + 32)) & 1) {
      q |= uint64_t{1} << d;
      r ^= kPolynomialNormal << d;
    }
  }
  return q;
}

// A 33-bit normal-order polynomial c as a 64-bit reflected operand with x^d at
// bit 32 - d, which reads as c * x^31: the Barrett steps below count on that
// shift to land their products on dword boundaries.
constexpr uint64_t reflected33(uint64_t c) {
  uint64_t r = 0;
  for (int d = 0; d <= 32; ++d) r |= ((c >> d) & 1) << (32 - d);
  return r;
}

constexpr uint64_t kBarrettMu = reflected33(barrettMu());
constexpr uint64_t kBarrettP = reflected33(kPolynomialNormal);

// A 128-bit chunk is hi(x) * x^64 + lo(x), where hi is its low qword. Moving
// it forward by D bits takes hi * x^(D+64) + lo * x^D: one constant per half.
struct FoldPair {
  uint64_t forLow;   // multiplies the low qword (the higher powers)
  uint64_t forHigh;  // multiplies the high qword
};
constexpr FoldPair foldBy(unsigned bits) { return {foldConstant(bits + 64), foldConstant(bits)}; }

// Four 64-byte registers span 256 bytes: each lane moves forward by 2048 bits.
constexpr FoldPair kFold2048 = foldBy(2048);
// Merging the four registers onto the last: distances 192, 128 and 64 bytes.
// The last is also one register moving forward by itself.
constexpr FoldPair kFold1536 = foldBy(1536);
constexpr FoldPair kFold1024 = foldBy(1024);
constexpr FoldPair kFold512 = foldBy(512);
// Merging the lanes of one register onto its last: 48, 32 and 16 bytes; the
// last is also one lane moving forward by itself.
constexpr FoldPair kFold384 = foldBy(384);
constexpr FoldPair kFold256 = foldBy(256);
constexpr FoldPair kFold128 = foldBy(128);
// The final multiplication by x^32; for the high qword that is a plain shift
// (x^31 mod P is x^31).
constexpr FoldPair kFold32 = foldBy(32);
// Folds the 32 bits above degree 64 of the 96-bit remainder down.
constexpr uint64_t kFold64 = foldConstant(64);

// ---------------------------------------------------------------------------
// The vector kernel.

#define RV_CRC32_VECTOR_TARGET \
  __attribute__((target("avx512f,avx512vl,avx512bw,vpclmulqdq,pclmul")))

RV_CRC32_VECTOR_TARGET inline __m512i broadcastPair(FoldPair k) {
  return _mm512_set4_epi64(static_cast<long long>(k.forHigh), static_cast<long long>(k.forLow),
                           static_cast<long long>(k.forHigh), static_cast<long long>(k.forLow));
}

// acc moved forward by the pair's distance, lane by lane, plus data.
RV_CRC32_VECTOR_TARGET inline __m512i foldInto(__m512i acc, __m512i k, __m512i data) {
  return _mm512_ternarylogic_epi64(_mm512_clmulepi64_epi128(acc, k, 0x00),
                                   _mm512_clmulepi64_epi128(acc, k, 0x11), data, 0x96);
}

RV_CRC32_VECTOR_TARGET inline __m128i foldInto(__m128i acc, __m128i k, __m128i data) {
  return _mm_ternarylogic_epi64(_mm_clmulepi64_si128(acc, k, 0x00),
                                _mm_clmulepi64_si128(acc, k, 0x11), data, 0x96);
}

RV_CRC32_VECTOR_TARGET inline __m512i load64(const uint8_t* p) { return _mm512_loadu_si512(p); }

// The running value of the CRC whose message is congruent to x (mod P).
RV_CRC32_VECTOR_TARGET inline uint32_t reduce(__m128i x) {
  // v = x * x^32, of degree below 96.
  const __m128i k32 = _mm_set_epi64x(static_cast<long long>(kFold32.forHigh),
                                     static_cast<long long>(kFold32.forLow));
  __m128i v = _mm_xor_si128(_mm_clmulepi64_si128(x, k32, 0x00), _mm_clmulepi64_si128(x, k32, 0x11));
  // The low qword of v now holds only the 32 coefficients above x^63; fold
  // them into the high qword, leaving w of degree below 64 there.
  const __m128i k64 = _mm_set_epi64x(0, static_cast<long long>(kFold64));
  __m128i w = _mm_srli_si128(_mm_xor_si128(_mm_clmulepi64_si128(v, k64, 0x00), v), 8);
  // Barrett: with w = wh * x^32 + wl, q = floor(wh * mu / x^32) is w's
  // quotient by P, and w + q * P its remainder. wh as an operand reads
  // wh * x^32 and mu as mu * x^31, so the product is wh * mu * x^64 and its
  // low dword holds q (as q * x^32 again); q * P then comes out as
  // q * P * x^64, aligned with w, and the remainder is the second dword.
  const __m128i low32 = _mm_set_epi32(0, 0, 0, -1);
  const __m128i barrett =
      _mm_set_epi64x(static_cast<long long>(kBarrettP), static_cast<long long>(kBarrettMu));
  __m128i q = _mm_clmulepi64_si128(_mm_and_si128(w, low32), barrett, 0x00);
  __m128i qp = _mm_clmulepi64_si128(_mm_and_si128(q, low32), barrett, 0x10);
  return static_cast<uint32_t>(_mm_extract_epi32(_mm_xor_si128(w, qp), 1));
}

// The new running value after n >= 16 bytes at p.
RV_CRC32_VECTOR_TARGET uint32_t updateVector(uint32_t value, const uint8_t* p, size_t n) {
  const uint8_t* const end = p + n;
  const __m128i k128 = _mm_set_epi64x(static_cast<long long>(kFold128.forHigh),
                                      static_cast<long long>(kFold128.forLow));
  __m128i x;
  if (n >= 64) {
    __m512i a = _mm512_xor_si512(load64(p), _mm512_maskz_set1_epi32(1, static_cast<int>(value)));
    if (n >= 256) {
      __m512i b = load64(p + 64), c = load64(p + 128), d = load64(p + 192);
      p += 256;
      const __m512i k2048 = broadcastPair(kFold2048);
      while (end - p >= 256) {
        a = foldInto(a, k2048, load64(p));
        b = foldInto(b, k2048, load64(p + 64));
        c = foldInto(c, k2048, load64(p + 128));
        d = foldInto(d, k2048, load64(p + 192));
        p += 256;
      }
      d = foldInto(c, broadcastPair(kFold512), d);
      d = foldInto(b, broadcastPair(kFold1024), d);
      a = foldInto(a, broadcastPair(kFold1536), d);
    } else {
      p += 64;
    }
    const __m512i k512 = broadcastPair(kFold512);
    while (end - p >= 64) {
      a = foldInto(a, k512, load64(p));
      p += 64;
    }
    // Lanes 0..2 move forward by 384, 256 and 128 bits onto lane 3.
    const __m512i lanes = _mm512_set_epi64(
        0, 0, static_cast<long long>(kFold128.forHigh), static_cast<long long>(kFold128.forLow),
        static_cast<long long>(kFold256.forHigh), static_cast<long long>(kFold256.forLow),
        static_cast<long long>(kFold384.forHigh), static_cast<long long>(kFold384.forLow));
    __m512i f = foldInto(a, lanes, _mm512_maskz_mov_epi64(0xC0, a));
    // (The zero-masking extracts spare g++ 12 a false uninitialised warning.)
    __m256i y = _mm256_xor_si256(_mm512_maskz_extracti64x4_epi64(0xF, f, 0),
                                 _mm512_maskz_extracti64x4_epi64(0xF, f, 1));
    x = _mm_xor_si128(_mm256_castsi256_si128(y), _mm256_extracti128_si256(y, 1));
  } else {
    x = _mm_xor_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)),
                      _mm_cvtsi32_si128(static_cast<int>(value)));
    p += 16;
  }
  while (end - p >= 16) {
    x = foldInto(x, k128, _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
    p += 16;
  }
  if (const int t = static_cast<int>(end - p); t > 0) {
    // x followed by t bytes is A * x^128 + B, where A is x's first t bytes
    // and B the rest of x followed by the t bytes.
    const __m128i index =
        _mm_add_epi8(_mm_setr_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15),
                     _mm_set1_epi8(static_cast<char>(t)));
    // Byte i of A is byte i + t - 16 of x; negative indices select zero.
    __m128i a = _mm_shuffle_epi8(x, _mm_sub_epi8(index, _mm_set1_epi8(16)));
    // Byte i of B is byte i + t of x while that is below 16 ...
    __m128i b = _mm_shuffle_epi8(x, _mm_or_si128(index, _mm_cmpgt_epi8(index, _mm_set1_epi8(15))));
    // ... and the input's last bytes above it, read within the range.
    const auto tail = static_cast<__mmask16>(0xFFFFu << (16 - t));
    b = _mm_mask_loadu_epi8(b, tail, end - 16);
    x = foldInto(a, k128, b);
  }
  return reduce(x);
}

#undef RV_CRC32_VECTOR_TARGET

// Below this the libdeflate path (128-bit folding) is as fast.
constexpr int64_t kVectorThreshold = 256;

uint32_t updateFallback(uint32_t value, const uint8_t* p, int64_t length) {
  // libdeflate continues a finished CRC, not a running value: the running
  // value is the complement of the CRC so far.
  while (length > 0) {
    size_t n = static_cast<size_t>(std::min<int64_t>(length, int64_t{1} << 30));
    value = ~libdeflate_crc32(~value, p, n);
    p += n;
    length -= static_cast<int64_t>(n);
  }
  return value;
}

bool detectVectorKernel() {
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512vl") &&
         __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("vpclmulqdq") &&
         __builtin_cpu_supports("pclmul");
}

const bool kHasVectorKernel = detectVectorKernel();

std::atomic<RVCRC32Path> gPath{RVCRC32Path::Automatic};

}  // namespace

void RVCRC32SetPath(RVCRC32Path path) { gPath.store(path, std::memory_order_relaxed); }

RVCRC32Path RVCRC32GetPath() { return gPath.load(std::memory_order_relaxed); }

bool RVCRC32HasVectorKernel() { return kHasVectorKernel; }

uint32_t RVCRC32Init() { return 0xFFFFFFFFu; }

uint32_t RVCRC32UpdateByte(uint32_t value, uint8_t byte) {
  return kTable[(value ^ byte) & 0xFF] ^ (value >> 8);
}

uint32_t RVCRC32Update(uint32_t value, const void* bytes, int64_t length) {
  if (length <= 0) return value;
  const auto* p = static_cast<const uint8_t*>(bytes);
  if (kHasVectorKernel) {
    const RVCRC32Path path = gPath.load(std::memory_order_relaxed);
    const int64_t threshold = path == RVCRC32Path::Vector ? 16 : kVectorThreshold;
    if (path != RVCRC32Path::Fallback && length >= threshold)
      return updateVector(value, p, static_cast<size_t>(length));
  }
  return updateFallback(value, p, length);
}

uint32_t RVCRC32Final(uint32_t value) { return ~value; }

void RVCRC32::updateWithBytes(const void* bytes, uint64_t length) {
  const auto* p = static_cast<const uint8_t*>(bytes);
  while (length > 0) {
    uint64_t n = std::min<uint64_t>(length, uint64_t{1} << 30);
    _rawValue = RVCRC32Update(_rawValue, p, static_cast<int64_t>(n));
    p += n;
    length -= n;
  }
}
