// Comparator networks of the order filters, made at compile time.  The
// window of a median is taken as sorted columns (each column of the window
// sorted on its own, shared by the windows that contain it); the network
// merges the columns with odd-even merges and keeps only the comparators
// that can change the middle value.  A comparator network that selects the
// middle of every input of zeros and ones selects the middle of every input;
// the tests run the networks on all of them.  No Qt.
#pragma once

#include <cstdint>

namespace kwlib::ordernet {

// One comparator: Lo gets min(Lo, Hi) when Kind & 1, Hi gets max(Lo, Hi)
// when Kind & 2.
struct TCmp {
  uint8_t Lo = 0, Hi = 0, Kind = 3;
};

struct TNet {
  int Wires = 0;
  int Count = 0;
  TCmp C[128] = {};
  int Out = 0;  // the wire that ends with the selected value
  // A sorting network: the wire that ends with the k-th smallest value.
  uint8_t Order[32] = {};
};

// Column heights of the windows, left to right: range 0 the cross, 1 the
// 3 x 3 square, 2 the diamond, 3 the 5 x 5 square.  Wires are numbered
// column by column from the left, smallest value first within a column.
struct TColumns {
  int Count;
  int Height[5];
};
constexpr TColumns kColumns[4] = {{3, {1, 3, 1}}, {3, {3, 3, 3}}, {5, {1, 3, 5, 3, 1}}, {5, {5, 5, 5, 5, 5}}};

namespace detail {

constexpr int kNone = -1;

// A comparator between array positions i < j of a merge; positions may be
// empty (an element larger than all), which moves without a comparator.
constexpr void Compare(TNet& net, int* pos, int i, int j) {
  if (pos[i] == kNone) {
    if (pos[j] != kNone) pos[i] = pos[j], pos[j] = kNone;
    return;
  }
  if (pos[j] == kNone) return;
  net.C[net.Count++] = TCmp{uint8_t(pos[i]), uint8_t(pos[j]), 3};
}

// Batcher's odd-even merge of positions lo, lo + r, ... of n positions.
constexpr void OddEvenMerge(TNet& net, int* pos, int lo, int n, int r) {
  const int m = r * 2;
  if (m < n) {
    OddEvenMerge(net, pos, lo, n, m);
    OddEvenMerge(net, pos, lo + r, n, m);
    for (int i = lo + r; i + r < lo + n; i += m) Compare(net, pos, i, i + r);
  } else {
    Compare(net, pos, lo, lo + r);
  }
}

struct TList {
  int Size = 0;
  int Wire[32] = {};
};

constexpr TList Merge(TNet& net, const TList& a, const TList& b) {
  int p = 1;
  while (p < a.Size || p < b.Size) p *= 2;
  int pos[64] = {};
  for (int i = 0; i < p; ++i) {
    pos[i] = i < a.Size ? a.Wire[i] : kNone;
    pos[p + i] = i < b.Size ? b.Wire[i] : kNone;
  }
  OddEvenMerge(net, pos, 0, 2 * p, 1);
  TList out;
  for (int i = 0; i < 2 * p; ++i)
    if (pos[i] != kNone) out.Wire[out.Size++] = pos[i];
  return out;
}

// Merges lists [first, first + n) of lists, halves first.
constexpr TList MergeAll(TNet& net, const TList* lists, int n) {
  if (n == 1) return lists[0];
  const int h = n / 2;
  return Merge(net, MergeAll(net, lists, h), MergeAll(net, lists + h, n - h));
}

// Keeps only the comparators (or the half of one) that the output wire
// depends on.
constexpr void KeepNeeded(TNet& net) {
  bool need[32] = {};
  need[net.Out] = true;
  TCmp kept[128] = {};
  int n = 0;
  for (int k = net.Count - 1; k >= 0; --k) {
    TCmp c = net.C[k];
    const bool lo = need[c.Lo], hi = need[c.Hi];
    if (!lo && !hi) continue;
    c.Kind = uint8_t((lo ? 1 : 0) | (hi ? 2 : 0));
    need[c.Lo] = need[c.Hi] = true;
    kept[n++] = c;
  }
  net.Count = n;
  for (int k = 0; k < n; ++k) net.C[k] = kept[n - 1 - k];
}

}  // namespace detail

// The median network of a window range (0 to 3) over its sorted columns.
constexpr TNet MedianNet(int range) {
  const TColumns& cols = kColumns[range];
  TNet net;
  detail::TList lists[5];
  // The centre column first, then outwards: the fewest comparators.
  const int order[5] = {cols.Count / 2, cols.Count / 2 - 1, cols.Count / 2 + 1, 0, 4};
  int first[5] = {};
  for (int c = 0, wire = 0; c < cols.Count; ++c) first[c] = wire, wire += cols.Height[c];
  for (int k = 0; k < cols.Count; ++k) {
    const int c = order[k];
    lists[k].Size = cols.Height[c];
    for (int r = 0; r < cols.Height[c]; ++r) lists[k].Wire[r] = first[c] + r;
    net.Wires += cols.Height[c];
  }
  const detail::TList sorted = detail::MergeAll(net, lists, cols.Count);
  net.Out = sorted.Wire[(net.Wires - 1) / 2];
  detail::KeepNeeded(net);
  return net;
}

// A sorting network of n (at most 5) values.
constexpr TNet SortNet(int n) {
  TNet net;
  net.Wires = n;
  detail::TList lists[5];
  for (int k = 0; k < n; ++k) lists[k].Size = 1, lists[k].Wire[0] = k;
  const detail::TList sorted = detail::MergeAll(net, lists, n);
  for (int k = 0; k < n; ++k) net.Order[k] = uint8_t(sorted.Wire[k]);
  return net;
}

template <int Range>
inline constexpr TNet kMedianNet = MedianNet(Range);
template <int N>
inline constexpr TNet kSortNet = SortNet(N);

}  // namespace kwlib::ordernet
