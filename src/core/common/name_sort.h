#pragma once
// Sorting by name in exactly the order the original exchange sort leaves a
// list:
//
//     for i in 0 .. n-2:
//         for j in i .. n-1:
//             if name(i) > name(j): exchange items i and j
//
// Names compare by their bytes (std::string's ordering, i.e. unsigned bytes,
// which is code point order for UTF-8). The order of entries with equal
// names is whatever those exchanges make of it, and stored files depend on
// it, so we reproduce it exactly, but without the quadratic cost where it
// matters: every refresh of an already sorted list, and a sorted list with a
// few entries appended.
//
// How: step i of the exchange sort walks j to the right carrying the value at
// i; every strictly smaller name it meets is exchanged in. That visits the
// chain of successive strict minima of the suffix starting at i and rotates
// it by one place (each chain entry moves to the next chain slot, the last,
// i.e. the first occurrence of the suffix minimum, moves to i). Everything
// off the chain stays put.
//
// - An already sorted list is left alone after one pass.
// - A sorted prefix [0, m) is never touched except at the current step: its
//   entries are all <= their right neighbours, so a chain that starts at
//   i < m jumps straight into the unsorted tail [m, n). A min-tree over the
//   tail answers "first tail position after p whose name is < v" in O(log k);
//   the tail minimum at its root says in O(1) whether step i changes
//   anything at all. A sorted list with k entries appended therefore costs
//   one pass plus O(k log k) per exchange.
// - A list with a longer unsorted part is not simulated step by step at all
//   (on such input the exchanges grow quadratic in number). Only the order
//   of equal names is in question, and for one name v it depends only on
//   where the copies of v stand among the names smaller than v: the sort
//   moves a copy of v only while it is the first entry <= v of the unsorted
//   rest, and then moves it just past the first smaller name after it, over
//   the other copies of v in between; names greater than v never matter.
//   Reading the copies of v left to right, each smaller name between two
//   copies (and after the last) rotates the copies met so far by one place;
//   a Fenwick tree over positions counts those smaller names. That costs
//   O(n log n) comparisons plus, for a name with m copies, at most
//   min(m * m, n) moves.

#include <algorithm>
#include <cstddef>
#include <deque>
#include <numeric>
#include <string>
#include <utility>
#include <vector>

namespace meru {

namespace name_sort_detail {

// Minimum tree over a window of name pointers; nullptr stands for "greater
// than any name" (padding).
class MinTree {
public:
    explicit MinTree(const std::vector<const std::string*>& names, std::size_t first)
        : m_first(first) {
        const std::size_t count = names.size() - first;
        m_size = 1;
        while (m_size < count) m_size <<= 1;
        m_node.assign(2 * m_size, nullptr);
        for (std::size_t k = 0; k < count; ++k) m_node[m_size + k] = names[first + k];
        for (std::size_t node = m_size - 1; node >= 1; --node)
            m_node[node] = smaller(m_node[2 * node], m_node[2 * node + 1]);
    }

    // True when some name in the window is strictly below v.
    bool anyLess(const std::string& v) const { return less(m_node[1], v); }

    // Position (absolute) of the first name strictly below v at or after
    // absolute position from, or npos.
    std::size_t firstLess(std::size_t from, const std::string& v) const {
        if (from < m_first) from = m_first;
        std::size_t node = from - m_first;
        if (node >= m_size) return npos;
        node += m_size;
        for (;;) {
            if (less(m_node[node], v)) {
                while (node < m_size) {
                    node *= 2;
                    if (!less(m_node[node], v)) ++node;
                }
                return node - m_size + m_first;
            }
            while (node & 1) node >>= 1;
            if (node == 0) return npos;
            ++node;
        }
    }

    void set(std::size_t pos, const std::string* name) {
        std::size_t node = pos - m_first + m_size;
        m_node[node] = name;
        for (node >>= 1; node >= 1; node >>= 1) {
            const std::string* best = smaller(m_node[2 * node], m_node[2 * node + 1]);
            if (m_node[node] == best) break;  // nothing above changes
            m_node[node] = best;
        }
    }

    static constexpr std::size_t npos = static_cast<std::size_t>(-1);

private:
    static bool less(const std::string* a, const std::string& v) { return a && *a < v; }
    static const std::string* smaller(const std::string* a, const std::string* b) {
        if (!a) return b;
        if (!b) return a;
        return *b < *a ? b : a;
    }

    std::size_t m_first;
    std::size_t m_size = 1;
    std::vector<const std::string*> m_node;
};

// The final order of the exchange sort for any list: out[k] is the index
// of the entry that ends at position k.
inline std::vector<std::size_t> ExchangeSortOrder(const std::vector<const std::string*>& name) {
    const std::size_t n = name.size();
    std::vector<std::size_t> byName(n);
    std::iota(byName.begin(), byName.end(), std::size_t{0});
    // Ties broken by position: the copies of one name stay in the order of
    // their positions. (std::stable_sort's temporary buffer is reported as an
    // allocation mismatch by AddressSanitizer with this standard library.)
    std::sort(byName.begin(), byName.end(), [&](std::size_t a, std::size_t b) {
        const int c = name[a]->compare(*name[b]);
        return c < 0 || (c == 0 && a < b);
    });

    // Positions of the names already placed (all smaller than the current).
    std::vector<std::size_t> tree(n + 1, 0);
    auto insert = [&](std::size_t pos) {
        for (std::size_t k = pos + 1; k <= n; k += k & (~k + 1)) ++tree[k];
    };
    auto countBefore = [&](std::size_t pos) {
        std::size_t sum = 0;
        for (std::size_t k = pos; k > 0; k -= k & (~k + 1)) sum += tree[k];
        return sum;
    };
    std::deque<std::size_t> copies;
    auto rotate = [&](std::size_t steps) {
        if (copies.size() < 2) return;
        steps %= copies.size();
        if (steps <= copies.size() / 2) {
            for (; steps > 0; --steps) {
                copies.push_back(copies.front());
                copies.pop_front();
            }
        } else {
            for (steps = copies.size() - steps; steps > 0; --steps) {
                copies.push_front(copies.back());
                copies.pop_back();
            }
        }
    };

    std::vector<std::size_t> out;
    out.reserve(n);
    for (std::size_t g = 0; g < n;) {
        std::size_t h = g + 1;
        while (h < n && *name[byName[h]] == *name[byName[g]]) ++h;
        if (h - g == 1) {
            out.push_back(byName[g]);
        } else {
            copies.clear();
            std::size_t smallerSoFar = 0;
            for (std::size_t k = g; k < h; ++k) {
                const std::size_t smaller = countBefore(byName[k]);
                rotate(smaller - smallerSoFar);
                copies.push_back(byName[k]);
                smallerSoFar = smaller;
            }
            rotate(g - smallerSoFar);  // the smaller names after the last copy
            out.insert(out.end(), copies.begin(), copies.end());
        }
        for (std::size_t k = g; k < h; ++k) insert(byName[k]);
        g = h;
    }
    return out;
}

}  // namespace name_sort_detail

template <class T, class NameOf>
void SortByName(std::vector<T>& items, NameOf nameOf) {
    const std::size_t n = items.size();
    if (n < 2) return;

    // Steady state: one pass, nothing moves.
    std::size_t m = 1;  // length of the sorted prefix
    while (m < n && !(nameOf(items[m]) < nameOf(items[m - 1]))) ++m;
    if (m == n) return;

    // Work on name pointers and a permutation; move the items once at the end.
    std::vector<const std::string*> name(n);
    std::vector<std::size_t> from(n);
    for (std::size_t k = 0; k < n; ++k) {
        name[k] = &nameOf(items[k]);
        from[k] = k;
    }

    // More than a few entries out of order: the order in one go.
    constexpr std::size_t kShortTail = 16;
    if (n - m > kShortTail) {
        from = name_sort_detail::ExchangeSortOrder(name);
        std::vector<T> out;
        out.reserve(n);
        for (std::size_t k = 0; k < n; ++k) out.push_back(std::move(items[from[k]]));
        items = std::move(out);
        return;
    }

    // Steps inside the sorted prefix: a step changes something only when
    // the tail holds a smaller name, and its chain then lies in the tail.
    {
        name_sort_detail::MinTree tail(name, m);
        constexpr std::size_t npos = name_sort_detail::MinTree::npos;
        for (std::size_t i = 0; i < m; ++i) {
            if (!tail.anyLess(*name[i])) continue;
            std::size_t q = tail.firstLess(m, *name[i]);
            while (q != npos) {
                std::swap(name[i], name[q]);
                std::swap(from[i], from[q]);
                tail.set(q, name[q]);
                q = tail.firstLess(q + 1, *name[i]);
            }
        }
    }

    // Steps inside the short tail, as the exchange sort makes them.
    for (std::size_t i = m; i + 1 < n; ++i) {
        for (std::size_t j = i + 1; j < n; ++j) {
            if (*name[j] < *name[i]) {
                std::swap(name[i], name[j]);
                std::swap(from[i], from[j]);
            }
        }
    }

    bool moved = false;
    for (std::size_t k = 0; k < n && !moved; ++k) moved = from[k] != k;
    if (!moved) return;
    std::vector<T> out;
    out.reserve(n);
    for (std::size_t k = 0; k < n; ++k) out.push_back(std::move(items[from[k]]));
    items = std::move(out);
}

}  // namespace meru
