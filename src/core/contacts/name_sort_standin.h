#pragma once
// Temporary: the exchange order by name, kept exact, until the shared sort lands.
#include <utility>
#include <vector>

namespace meru {

template <class T, class NameOf>
void SortByName(std::vector<T>& v, NameOf nameOf) {
    const std::size_t n = v.size();
    bool sorted = true;
    for (std::size_t i = 1; i < n && sorted; ++i) sorted = !(nameOf(v[i]) < nameOf(v[i - 1]));
    if (sorted || n < 2) return;
    for (std::size_t i = 0; i + 1 < n; ++i)
        for (std::size_t j = i; j < n; ++j)
            if (nameOf(v[j]) < nameOf(v[i])) std::swap(v[i], v[j]);
}

}  // namespace meru
