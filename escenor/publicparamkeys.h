// Key list helpers and the one key-evaluation walk shared by the parameter
// classes.
#pragma once

#include <cmath>
#include <cstdint>
#include <list>

#include "publicparam.h"

namespace keys {

// Inserts before the first key whose start is greater, so keys of equal
// start keep the order they were added in.
template <typename Key>
void Insert(std::list<Key*>& list, Key* key)
{
    auto it = list.begin();
    while (it != list.end() && !((*it)->m_start > key->m_start))
        ++it;
    list.insert(it, key);
}

template <typename Key>
void Destroy(Key* key)
{
    delete key;
}

inline void Destroy(ConstantKey<char*>* key)
{
    delete[] key->m_value;
    delete key;
}

inline void Destroy(LinearKey<char*>* key)
{
    delete[] key->m_from;
    delete[] key->m_to;
    delete key;
}

template <typename Key>
void DestroyAll(std::list<Key*>& list)
{
    for (Key* key : list)
        Destroy(key);
    list.clear();
}

// Walks one list at time `now`: an expired key hands its end value to
// `expired`, is removed and the walk restarts; the first active key hands
// its time (now, capped at its end) to `active` and ends the walk. Returns
// whether an active key was found.
template <typename Key, typename Active, typename Expired>
bool Evaluate(std::list<Key*>& list, float now, Active active, Expired expired)
{
    auto it = list.begin();
    while (it != list.end()) {
        Key* key = *it;
        if (!(key->m_start <= now)) {
            // Not begun yet (or not a number).
            ++it;
            continue;
        }
        if (now > key->m_end && key->m_end != key->m_start) {
            expired(key);
            list.erase(it);
            Destroy(key);
            it = list.begin();
            continue;
        }
        float te = now < key->m_end ? now : key->m_end;
        active(key, te);
        return true;
    }
    return false;
}

// to - from in double precision. Integer values differ as 32-bit integers:
// the difference wraps instead of overflowing.
inline double Difference(float from, float to)
{
    return (double)to - (double)from;
}

inline double Difference(int32_t from, int32_t to)
{
    return (double)(int32_t)((uint32_t)to - (uint32_t)from);
}

template <typename T>
double ValueAt(const LinearKey<T>* k, double te)
{
    double slope = Difference(k->m_from, k->m_to) / ((double)k->m_end - (double)k->m_start);
    return (double)k->m_from + (te - (double)k->m_start) * slope;
}

template <typename T>
double ValueAt(const SineKey<T>* k, double te)
{
    return (double)k->m_base + (double)k->m_amplitude * std::sin((te - (double)k->m_start) * k->m_frequency);
}

// A constant key holds its value while active and on expiry; a linear key
// ramps while active and ends on m_to; a sine key is computed both ways.
// Held values go to `held` as the key stores them, computed ones to
// `computed` in double precision.
template <typename T, typename Held, typename Computed>
void ApplyActive(ConstantKey<T>* k, float, Held& held, Computed&)
{
    held(k->m_value);
}

template <typename T, typename Held, typename Computed>
void ApplyActive(LinearKey<T>* k, float te, Held&, Computed& computed)
{
    computed(ValueAt(k, te));
}

template <typename T, typename Held, typename Computed>
void ApplyActive(SineKey<T>* k, float te, Held&, Computed& computed)
{
    computed(ValueAt(k, te));
}

template <typename T, typename Held, typename Computed>
void ApplyExpired(ConstantKey<T>* k, Held& held, Computed&)
{
    held(k->m_value);
}

template <typename T, typename Held, typename Computed>
void ApplyExpired(LinearKey<T>* k, Held& held, Computed&)
{
    held(k->m_to);
}

template <typename T, typename Held, typename Computed>
void ApplyExpired(SineKey<T>* k, Held&, Computed& computed)
{
    computed(ValueAt(k, k->m_end));
}

// A parameter's evaluation at `now`: the lists are searched in the order
// given, expired keys apply their end values and go, and the first active
// key ends the whole walk.
template <typename Held, typename Computed, typename... Lists>
void Walk(float now, Held held, Computed computed, Lists&... lists)
{
    (Evaluate(
         lists, now, [&](auto* k, float te) { ApplyActive(k, te, held, computed); },
         [&](auto* k) { ApplyExpired(k, held, computed); }) ||
     ...);
}

} // namespace keys
