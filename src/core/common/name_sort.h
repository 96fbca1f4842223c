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
// it, so we reproduce it exactly, but without the quadratic cost.
//
// How: step i of the exchange sort walks j to the right carrying the value at
// i; every strictly smaller name it meets is exchanged in. That visits the
// chain of successive strict minima of the suffix starting at i and rotates
// it by one place (each chain entry moves to the next chain slot, the last,
// i.e. the first occurrence of the suffix minimum, moves to i). Everything
// off the chain stays put. We only have to find the chain links quickly.
//
// - An already sorted list is left alone after one pass.
// - A sorted prefix [0, m) is never touched except at the current step: its
//   entries are all <= their right neighbours, so a chain that starts at
//   i < m jumps straight into the unsorted tail [m, n). A min-tree over the
//   tail answers "first tail position after p whose name is < v" in O(log k);
//   the tail minimum at its root says in O(1) whether step i changes
//   anything at all. A sorted list with k entries appended therefore costs
//   one pass plus O(k log k) per exchange.
// - An arbitrary list costs O(log n) per exchange the original would make;
//   for random input that is a handful per step. (A list in strictly
//   descending order makes the original do n^2/2 exchanges, and us too.)

#include <cstddef>
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
        : m_first(first)
    {
        const std::size_t count = names.size() - first;
        m_size = 1;
        while (m_size < count)
            m_size <<= 1;
        m_node.assign(2 * m_size, nullptr);
        for (std::size_t k = 0; k < count; ++k)
            m_node[m_size + k] = names[first + k];
        for (std::size_t node = m_size - 1; node >= 1; --node)
            m_node[node] = smaller(m_node[2 * node], m_node[2 * node + 1]);
    }

    // True when some name in the window is strictly below v.
    bool anyLess(const std::string& v) const { return less(m_node[1], v); }

    // Position (absolute) of the first name strictly below v at or after
    // absolute position from, or npos.
    std::size_t firstLess(std::size_t from, const std::string& v) const
    {
        if (from < m_first)
            from = m_first;
        std::size_t node = from - m_first;
        if (node >= m_size)
            return npos;
        node += m_size;
        for (;;) {
            if (less(m_node[node], v)) {
                while (node < m_size) {
                    node *= 2;
                    if (!less(m_node[node], v))
                        ++node;
                }
                return node - m_size + m_first;
            }
            while (node & 1)
                node >>= 1;
            if (node == 0)
                return npos;
            ++node;
        }
    }

    void set(std::size_t pos, const std::string* name)
    {
        std::size_t node = pos - m_first + m_size;
        m_node[node] = name;
        for (node >>= 1; node >= 1; node >>= 1) {
            const std::string* best = smaller(m_node[2 * node], m_node[2 * node + 1]);
            if (m_node[node] == best)
                break; // nothing above changes
            m_node[node] = best;
        }
    }

    static constexpr std::size_t npos = static_cast<std::size_t>(-1);

private:
    static bool less(const std::string* a, const std::string& v) { return a && *a < v; }
    static const std::string* smaller(const std::string* a, const std::string* b)
    {
        if (!a)
            return b;
        if (!b)
            return a;
        return *b < *a ? b : a;
    }

    std::size_t m_first;
    std::size_t m_size = 1;
    std::vector<const std::string*> m_node;
};

} // namespace name_sort_detail

template <class T, class NameOf>
void SortByName(std::vector<T>& items, NameOf nameOf)
{
    const std::size_t n = items.size();
    if (n < 2)
        return;

    // Steady state: one pass, nothing moves.
    std::size_t m = 1; // length of the sorted prefix
    while (m < n && !(nameOf(items[m]) < nameOf(items[m - 1])))
        ++m;
    if (m == n)
        return;

    // Work on name pointers and a permutation; move the items once at the end.
    std::vector<const std::string*> name(n);
    std::vector<std::size_t> from(n);
    for (std::size_t k = 0; k < n; ++k) {
        name[k] = &nameOf(items[k]);
        from[k] = k;
    }

    name_sort_detail::MinTree tail(name, m);
    constexpr std::size_t npos = name_sort_detail::MinTree::npos;

    for (std::size_t i = 0; i + 1 < n; ++i) {
        // Inside the sorted prefix a step changes something only when the
        // tail holds a smaller name; the chain then lives in the tail.
        if (i < m && !tail.anyLess(*name[i]))
            continue;
        std::size_t q = tail.firstLess(i + 1, *name[i]);
        while (q != npos) {
            std::swap(name[i], name[q]);
            std::swap(from[i], from[q]);
            tail.set(q, name[q]);
            q = tail.firstLess(q + 1, *name[i]);
        }
        // Position i (if it is in the tail) is never looked at again: every
        // later search starts to its right, and anyLess is only asked while
        // i < m, i.e. before any tail position is final.
    }

    bool moved = false;
    for (std::size_t k = 0; k < n && !moved; ++k)
        moved = from[k] != k;
    if (!moved)
        return;
    std::vector<T> out;
    out.reserve(n);
    for (std::size_t k = 0; k < n; ++k)
        out.push_back(std::move(items[from[k]]));
    items = std::move(out);
}

} // namespace meru
