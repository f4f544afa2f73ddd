// GDI regions: banded rectangle lists and their Boolean combinations.
#include "gdi_internal.h"

#include <algorithm>
#include <climits>
#include <utility>

using namespace gdi;

namespace {

typedef std::vector<std::pair<LONG, LONG>> Spans; // [left, right) in x order

struct Band {
    LONG top, bottom;
    Spans spans;
};

std::vector<Band> toBands(const std::vector<RECT>& rects)
{
    std::vector<Band> bands;
    for (const RECT& r : rects) {
        if (bands.empty() || bands.back().top != r.top)
            bands.push_back({r.top, r.bottom, {}});
        bands.back().spans.push_back({r.left, r.right});
    }
    return bands;
}

Spans combineSpans(const Spans& a, const Spans& b, int mode)
{
    // Walk the span edges of both in x order, tracking inside-ness.
    std::vector<std::pair<LONG, int>> edges; // x, +1/-1 for a (bit 0) or b (bit 1)
    edges.reserve(2 * (a.size() + b.size()));
    for (const auto& s : a) {
        edges.push_back({s.first, 1});
        edges.push_back({s.second, -1});
    }
    for (const auto& s : b) {
        edges.push_back({s.first, 2});
        edges.push_back({s.second, -2});
    }
    std::sort(edges.begin(), edges.end(), [](const std::pair<LONG, int>& p, const std::pair<LONG, int>& q) {
        return p.first < q.first;
    });
    auto keep = [mode](bool inA, bool inB) {
        switch (mode) {
        case RGN_AND: return inA && inB;
        case RGN_OR: return inA || inB;
        case RGN_XOR: return inA != inB;
        case RGN_DIFF: return inA && !inB;
        default: return inA;
        }
    };
    Spans out;
    bool inA = false, inB = false, inside = false;
    LONG start = 0;
    size_t i = 0;
    while (i < edges.size()) {
        LONG x = edges[i].first;
        while (i < edges.size() && edges[i].first == x) {
            int e = edges[i].second;
            if (e == 1 || e == -1)
                inA = e > 0;
            else
                inB = e > 0;
            ++i;
        }
        bool now = keep(inA, inB);
        if (now && !inside) {
            start = x;
        } else if (!now && inside && x > start) {
            if (!out.empty() && out.back().second == start)
                out.back().second = x;
            else
                out.push_back({start, x});
        }
        inside = now;
    }
    return out;
}

} // namespace

namespace gdi {

std::vector<RECT> combine(const std::vector<RECT>& a, const std::vector<RECT>& b, int mode)
{
    std::vector<Band> ba = toBands(a), bb = toBands(b);
    std::vector<LONG> ys;
    for (const Band& band : ba) {
        ys.push_back(band.top);
        ys.push_back(band.bottom);
    }
    for (const Band& band : bb) {
        ys.push_back(band.top);
        ys.push_back(band.bottom);
    }
    std::sort(ys.begin(), ys.end());
    ys.erase(std::unique(ys.begin(), ys.end()), ys.end());

    std::vector<Band> out;
    static const Spans none;
    size_t ia = 0, ib = 0;
    for (size_t k = 0; k + 1 < ys.size(); ++k) {
        LONG y0 = ys[k], y1 = ys[k + 1];
        while (ia < ba.size() && ba[ia].bottom <= y0)
            ++ia;
        while (ib < bb.size() && bb[ib].bottom <= y0)
            ++ib;
        const Spans& sa = ia < ba.size() && ba[ia].top <= y0 ? ba[ia].spans : none;
        const Spans& sb = ib < bb.size() && bb[ib].top <= y0 ? bb[ib].spans : none;
        Spans spans = combineSpans(sa, sb, mode);
        if (spans.empty())
            continue;
        if (!out.empty() && out.back().bottom == y0 && out.back().spans == spans)
            out.back().bottom = y1;
        else
            out.push_back({y0, y1, std::move(spans)});
    }
    std::vector<RECT> rects;
    for (const Band& band : out)
        for (const auto& s : band.spans)
            rects.push_back({s.first, band.top, s.second, band.bottom});
    return rects;
}

std::vector<RECT> normalise(const std::vector<RECT>& any)
{
    // Pairwise unions, halving the list each round.
    std::vector<std::vector<RECT>> parts;
    for (const RECT& r : any)
        if (r.left < r.right && r.top < r.bottom)
            parts.push_back({r});
    if (parts.empty())
        return {};
    while (parts.size() > 1) {
        std::vector<std::vector<RECT>> next;
        for (size_t i = 0; i + 1 < parts.size(); i += 2)
            next.push_back(combine(parts[i], parts[i + 1], RGN_OR));
        if (parts.size() % 2)
            next.push_back(std::move(parts.back()));
        parts.swap(next);
    }
    return parts[0];
}

bool contains(const std::vector<RECT>& banded, int x, int y)
{
    // First rectangle whose band ends below y.
    auto it = std::lower_bound(banded.begin(), banded.end(), y,
                               [](const RECT& r, int yy) { return r.bottom <= yy; });
    for (; it != banded.end() && it->top <= y; ++it) {
        if (it->left <= x && x < it->right)
            return true;
        if (it->left > x)
            break;
    }
    return false;
}

} // namespace gdi

namespace {

Region* toRegion(HRGN h)
{
    Object* o = toObject(h);
    return o && o->kind == Kind::Region ? static_cast<Region*>(o) : nullptr;
}

HRGN newRegion(std::vector<RECT> rects)
{
    Region* r = new Region();
    r->rects = std::move(rects);
    registerObject(r);
    return reinterpret_cast<HRGN>(static_cast<Object*>(r));
}

int typeOf(const Region* r)
{
    return r->rects.empty() ? NULLREGION : r->rects.size() == 1 ? SIMPLEREGION : COMPLEXREGION;
}

std::vector<RECT> rectList(int left, int top, int right, int bottom)
{
    RECT r = {std::min(left, right), std::min(top, bottom), std::max(left, right), std::max(top, bottom)};
    if (r.left == r.right || r.top == r.bottom)
        return {};
    return {r};
}

} // namespace

HRGN CreateRectRgn(int left, int top, int right, int bottom)
{
    return newRegion(rectList(left, top, right, bottom));
}

HRGN CreateRectRgnIndirect(const RECT* rect)
{
    return rect ? CreateRectRgn(rect->left, rect->top, rect->right, rect->bottom) : nullptr;
}

HRGN ExtCreateRegion(const XFORM* transform, DWORD size, const RGNDATA* data)
{
    if (!data || size < sizeof(RGNDATAHEADER))
        return nullptr;
    if (transform && !(transform->eM11 == 1.0f && transform->eM12 == 0.0f && transform->eM21 == 0.0f &&
                       transform->eM22 == 1.0f && transform->eDx == 0.0f && transform->eDy == 0.0f))
        return nullptr;
    const RGNDATAHEADER& h = data->rdh;
    if (h.dwSize < sizeof(RGNDATAHEADER) || h.dwSize > size || h.iType != RDH_RECTANGLES ||
        h.nCount > (size - h.dwSize) / sizeof(RECT))
        return nullptr;
    std::vector<RECT> rects(h.nCount);
    if (h.nCount)
        std::memcpy(rects.data(), reinterpret_cast<const BYTE*>(data) + h.dwSize, h.nCount * sizeof(RECT));
    for (RECT& r : rects) {
        if (r.left > r.right)
            std::swap(r.left, r.right);
        if (r.top > r.bottom)
            std::swap(r.top, r.bottom);
    }
    return newRegion(normalise(rects));
}

int CombineRgn(HRGN dest, HRGN src1, HRGN src2, int mode)
{
    Region* d = toRegion(dest);
    Region* a = toRegion(src1);
    if (!d || !a || mode < RGN_AND || mode > RGN_COPY)
        return ERROR;
    if (mode == RGN_COPY) {
        d->rects = a->rects;
        return typeOf(d);
    }
    Region* b = toRegion(src2);
    if (!b)
        return ERROR;
    d->rects = combine(a->rects, b->rects, mode);
    return typeOf(d);
}

BOOL SetRectRgn(HRGN region, int left, int top, int right, int bottom)
{
    Region* r = toRegion(region);
    if (!r)
        return FALSE;
    r->rects = rectList(left, top, right, bottom);
    return TRUE;
}

int OffsetRgn(HRGN region, int dx, int dy)
{
    Region* r = toRegion(region);
    if (!r)
        return ERROR;
    for (RECT& rect : r->rects) {
        rect.left += dx;
        rect.right += dx;
        rect.top += dy;
        rect.bottom += dy;
    }
    return typeOf(r);
}

int GetRgnBox(HRGN region, LPRECT box)
{
    Region* r = toRegion(region);
    if (!r || !box)
        return ERROR;
    *box = {0, 0, 0, 0};
    if (!r->rects.empty()) {
        *box = r->rects.front();
        for (const RECT& rect : r->rects) {
            box->left = std::min(box->left, rect.left);
            box->right = std::max(box->right, rect.right);
            box->bottom = std::max(box->bottom, rect.bottom);
        }
    }
    return typeOf(r);
}

BOOL PtInRegion(HRGN region, int x, int y)
{
    Region* r = toRegion(region);
    return r && contains(r->rects, x, y) ? TRUE : FALSE;
}

BOOL EqualRgn(HRGN a, HRGN b)
{
    Region* ra = toRegion(a);
    Region* rb = toRegion(b);
    if (!ra || !rb)
        return ERROR;
    if (ra->rects.size() != rb->rects.size())
        return FALSE;
    for (size_t i = 0; i < ra->rects.size(); ++i) {
        const RECT& p = ra->rects[i];
        const RECT& q = rb->rects[i];
        if (p.left != q.left || p.top != q.top || p.right != q.right || p.bottom != q.bottom)
            return FALSE;
    }
    return TRUE;
}

DWORD GetRegionData(HRGN region, DWORD size, LPRGNDATA data)
{
    Region* r = toRegion(region);
    if (!r)
        return 0;
    DWORD needed = (DWORD)(sizeof(RGNDATAHEADER) + r->rects.size() * sizeof(RECT));
    if (!data)
        return needed;
    if (size < needed)
        return 0;
    data->rdh.dwSize = sizeof(RGNDATAHEADER);
    data->rdh.iType = RDH_RECTANGLES;
    data->rdh.nCount = (DWORD)r->rects.size();
    data->rdh.nRgnSize = (DWORD)(r->rects.size() * sizeof(RECT));
    GetRgnBox(region, &data->rdh.rcBound);
    if (!r->rects.empty())
        std::memcpy(reinterpret_cast<BYTE*>(data) + sizeof(RGNDATAHEADER), r->rects.data(),
                    r->rects.size() * sizeof(RECT));
    return needed;
}
