#include "proclib/kwwindow.h"

#include <array>
#include <cstring>
#include <utility>
#include <vector>

#include "proclib/kwordernet.h"


namespace kwlib {

const TWindowShape* WindowShape(int range) {
  static const std::array<TWindowShape, 4> shapes = [] {
    std::array<TWindowShape, 4> s{};
    for (int r = 0; r < 4; ++r) {
      s[r].Reach = r < 2 ? 1 : 2;
      for (int dy = -2; dy <= 2; ++dy)
        for (int dx = -2; dx <= 2; ++dx) {
          const int ax = dx < 0 ? -dx : dx, ay = dy < 0 ? -dy : dy;
          const bool in = r == 0   ? ax + ay <= 1
                          : r == 1 ? std::max(ax, ay) <= 1
                          : r == 2 ? ax + ay <= 2
                                   : true;
          if (!in) continue;
          s[r].Dx[s[r].Count] = int8_t(dx);
          s[r].Dy[s[r].Count] = int8_t(dy);
          ++s[r].Count;
        }
    }
    return s;
  }();
  if (range < 0 || range > 3) return nullptr;
  return &shapes[range];
}

namespace {

// Pixel vectors: the bytes of 4 (16-byte vectors) or 8 (32-byte vectors)
// pixels, each byte a lane of its own.  The row code is written once for
// both widths and compiled for the wider one where the processor has AVX2.
// The helpers below are always inlined, so no vector crosses a call: GCC's
// note on the calling convention of 32-byte vectors does not apply.
#pragma GCC diagnostic ignored "-Wpsabi"
using V16 = uint8_t __attribute__((vector_size(16)));
using V32 = uint8_t __attribute__((vector_size(32)));

#define KW_INLINE [[gnu::always_inline]] inline

template <class V>
KW_INLINE V Ld(const uint32_t* p) {
  V v;
  std::memcpy(&v, p, sizeof v);
  return v;
}
template <class V>
KW_INLINE void St(uint32_t* p, V v) {
  std::memcpy(p, &v, sizeof v);
}
template <class V>
KW_INLINE V Min(V a, V b) {
  return a < b ? a : b;
}
template <class V>
KW_INLINE V Max(V a, V b) {
  return a < b ? b : a;
}

// The fourth byte of each pixel of v replaced by that of centre.
template <class V>
KW_INLINE V WithCentreA(V v, V centre) {
  V a{};
  for (unsigned i = 3; i < sizeof(V); i += 4) a[i] = 0xFF;
  return (v & ~a) | (centre & a);
}

template <class V, int Lo, int Hi, int Kind>
KW_INLINE void Step(V* v) {
  const V a = v[Lo], b = v[Hi];
  if constexpr ((Kind & 1) != 0) v[Lo] = Min(a, b);
  if constexpr ((Kind & 2) != 0) v[Hi] = Max(a, b);
}
template <class V, const ordernet::TNet& N, size_t... I>
KW_INLINE void RunNet(V* v, std::index_sequence<I...>) {
  (Step<V, N.C[I].Lo, N.C[I].Hi, N.C[I].Kind>(v), ...);
}
template <class V, const ordernet::TNet& N>
KW_INLINE void RunNet(V* v) {
  RunNet<V, N>(v, std::make_index_sequence<size_t(N.Count)>());
}

// Where wire k of a window's network comes from: its column (0 = the
// leftmost) and its rank within the column.
struct TWire {
  int Column, Rank, Height;
};
template <int Range>
constexpr TWire WireOf(int k) {
  const ordernet::TColumns& cols = ordernet::kColumns[Range];
  for (int c = 0;; ++c) {
    if (k < cols.Height[c]) return TWire{c, k, cols.Height[c]};
    k -= cols.Height[c];
  }
}

// Columns of a row's windows sorted (median) or reduced to one extreme
// (minimum/maximum), for columns [c0, c0 + n): ranks of the three middle
// rows at t3[r * n + i], of all five rows at t5[r * n + i].  Vectors step
// from the left; the last step overlaps the one before it.
template <class V, int Range, int Kind>  // Kind 0 sort, 1 minimum, 2 maximum
KW_INLINE void Columns(const uint32_t* const* rows, int c0, int n, uint32_t* t3, uint32_t* t5) {
  constexpr int P = sizeof(V) / 4;
  constexpr bool three = Range != 3, five = Range >= 2;
  for (int i = 0;; i += P) {
    if (i > n - P) i = n - P;
    const int c = c0 + i;
    if constexpr (three) {
      V v[3] = {Ld<V>(rows[1] + c), Ld<V>(rows[2] + c), Ld<V>(rows[3] + c)};
      if constexpr (Kind == 0) {
        RunNet<V, ordernet::kSortNet<3>>(v);
        for (int r = 0; r < 3; ++r) St(t3 + r * n + i, v[ordernet::kSortNet<3>.Order[r]]);
      } else {
        St(t3 + i, Kind == 1 ? Min(Min(v[0], v[1]), v[2]) : Max(Max(v[0], v[1]), v[2]));
      }
    }
    if constexpr (five) {
      V v[5] = {Ld<V>(rows[0] + c), Ld<V>(rows[1] + c), Ld<V>(rows[2] + c), Ld<V>(rows[3] + c),
                Ld<V>(rows[4] + c)};
      if constexpr (Kind == 0) {
        RunNet<V, ordernet::kSortNet<5>>(v);
        for (int r = 0; r < 5; ++r) St(t5 + r * n + i, v[ordernet::kSortNet<5>.Order[r]]);
      } else if constexpr (Kind == 1) {
        St(t5 + i, Min(Min(Min(v[0], v[1]), Min(v[3], v[4])), v[2]));
      } else {
        St(t5 + i, Max(Max(Max(v[0], v[1]), Max(v[3], v[4])), v[2]));
      }
    }
    if (i == n - P) break;
  }
}

// Wire k of the window whose leftmost column is i (in the column tables).
template <class V, int Range, int K>
KW_INLINE V LoadWire(const uint32_t* centreRow, int c0, int n, const uint32_t* t3, const uint32_t* t5,
                     int i) {
  constexpr TWire w = WireOf<Range>(K);
  if constexpr (w.Height == 1) return Ld<V>(centreRow + c0 + i + w.Column);
  if constexpr (w.Height == 3) return Ld<V>(t3 + w.Rank * n + i + w.Column);
  return Ld<V>(t5 + w.Rank * n + i + w.Column);
}

template <class V, int Range, size_t... K>
KW_INLINE void LoadWindow(V* v, const uint32_t* centreRow, int c0, int n, const uint32_t* t3,
                          const uint32_t* t5, int i, std::index_sequence<K...>) {
  ((v[K] = LoadWire<V, Range, int(K)>(centreRow, c0, n, t3, t5, i)), ...);
}

// Median (Kind 0), minimum (1) or maximum (2) of pixels [x, last), P at a
// time; returns where it stopped (x when fewer than P pixels are left).
template <class V, int Range, int Kind>
KW_INLINE int OrderRow(const uint32_t* const* rows, int x, int last, uint32_t* d,
                       std::vector<uint32_t>& buf) {
  constexpr int P = sizeof(V) / 4;
  constexpr ordernet::TColumns cols = ordernet::kColumns[Range];
  constexpr int reach = cols.Count / 2;
  if (last - x < P) return x;
  const int c0 = x - reach, n = last - x + 2 * reach;
  const int ranks = Kind == 0 ? 8 : 2;
  buf.resize(size_t(n) * ranks);
  uint32_t* t3 = buf.data();
  uint32_t* t5 = buf.data() + (Kind == 0 ? 3 : 1) * size_t(n);
  Columns<V, Range, Kind>(rows, c0, n, t3, t5);
  constexpr int wires = Kind == 0 ? ordernet::kMedianNet<Range>.Wires : cols.Count;
  for (int xx = x;; xx += P) {
    if (xx > last - P) xx = last - P;
    const int i = xx - x;  // the window's leftmost column in the tables
    V v[25];
    V out;
    if constexpr (Kind == 0) {
      LoadWindow<V, Range>(v, rows[2], c0, n, t3, t5, i, std::make_index_sequence<size_t(wires)>());
      RunNet<V, ordernet::kMedianNet<Range>>(v);
      out = v[ordernet::kMedianNet<Range>.Out];
    } else {
      // One value per column: the column's extreme.
      for (int c = 0; c < cols.Count; ++c) {
        const int h = cols.Height[c];
        v[c] = h == 1 ? Ld<V>(rows[2] + c0 + i + c) : Ld<V>((h == 3 ? t3 : t5) + i + c);
      }
      out = v[0];
      for (int c = 1; c < cols.Count; ++c) out = Kind == 1 ? Min(out, v[c]) : Max(out, v[c]);
    }
    St(d + xx, WithCentreA(out, Ld<V>(rows[2] + xx)));
    if (xx == last - P) break;
  }
  return last;
}

template <class V, int Kind>
KW_INLINE int OrderRowOf(int range, const uint32_t* const* rows, int x, int last, uint32_t* d) {
  thread_local std::vector<uint32_t> buf;
  switch (range) {
    case 0: return OrderRow<V, 0, Kind>(rows, x, last, d, buf);
    case 1: return OrderRow<V, 1, Kind>(rows, x, last, d, buf);
    case 2: return OrderRow<V, 2, Kind>(rows, x, last, d, buf);
    case 3: return OrderRow<V, 3, Kind>(rows, x, last, d, buf);
  }
  return x;
}

#if defined(__x86_64__)
[[gnu::target("avx2")]] int OrderRowAVX2(int kind, int range, const uint32_t* const* rows, int x,
                                         int last, uint32_t* d) {
  switch (kind) {
    case 0: return OrderRowOf<V32, 0>(range, rows, x, last, d);
    case 1: return OrderRowOf<V32, 1>(range, rows, x, last, d);
    default: return OrderRowOf<V32, 2>(range, rows, x, last, d);
  }
}
#endif

int OrderRowAny(int kind, int range, const uint32_t* const* rows, int x, int last, uint32_t* d) {
#if defined(__x86_64__)
  if (HasAVX2()) x = OrderRowAVX2(kind, range, rows, x, last, d);
#endif
  switch (kind) {
    case 0: return OrderRowOf<V16, 0>(range, rows, x, last, d);
    case 1: return OrderRowOf<V16, 1>(range, rows, x, last, d);
    default: return OrderRowOf<V16, 2>(range, rows, x, last, d);
  }
}

}  // namespace

int MedianRowPart(const uint32_t* const* rows, int range, int x, int last, uint32_t* d) {
  return OrderRowAny(0, range, rows, x, last, d);
}

int MinMaxRowPart(const uint32_t* const* rows, int range, int x, int last, uint32_t* d,
                  bool maximum) {
  return OrderRowAny(maximum ? 2 : 1, range, rows, x, last, d);
}

}  // namespace kwlib
