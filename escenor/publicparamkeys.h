// Key list helpers shared by the parameter classes.
#pragma once

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

} // namespace keys
