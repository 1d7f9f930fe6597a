#include "BitPlaneCoder.h"

#include <algorithm>
#include <cstdlib>

namespace wltenc {

TreeKind colourSetKind(int set) {
    switch (set) {
    case CoarseSet: return TreeKind::Symbols3;
    case DetailSet: return TreeKind::Symbols4;
    case FineSet: return TreeKind::Symbols3;
    default: return TreeKind::Bits2;
    }
}

namespace {

constexpr int kBandRowStep[4] = {0, 0, 1, 1};  // band b starts at row kBandRowStep[b] * h
constexpr int kBandColStep[4] = {0, 1, 0, 1};  // and column kBandColStep[b] * w
constexpr int kNothing = 255;


class Coder {
public:
    Coder(const Plane& c, const Plane& r, size_t harmlessFrom) : coef_(c), r_(r), harmlessFrom_(harmlessFrom), known_(makePlane()), sig_(makePlane()),
        pass_(makePlane()), descInside_(makePlane()), treeHas_(makePlane()) {
        // Descendant test: any inside entry among the descendants at lower levels.
        for (int l = 2; l <= kLevels; ++l)
            forEachDetail(l, [&](int row, int col) { at(descInside_, row, col) = subtreeAny(l, row, col, r_); });
    }

    ColourSymbols run() {
        int maxMag = 0;
        for (size_t i = 0; i < coef_.size(); ++i)
            if (r_[i] == 1) maxMag = std::max(maxMag, std::abs(coef_[i]));
        ColourSymbols out;
        int top = 0;
        while ((maxMag >> (top + 1)) != 0) ++top;
        out.top = top;
        const int fixL = 1 << (top + 1);
        for (int fix = top; fix >= 0; --fix) {
            const int fixM = 1 << fix;
            std::fill(pass_.begin(), pass_.end(), kNothing);
            markNewlySignificant(fixM);
            for (int row = 0; row < 8; ++row)
                for (int col = 0; col < 7; ++col) {
                    if (at(r_, row, col) != 1 || at(sig_, row, col)) continue;
                    const int idx = row * kPlaneCols + col;
                    int sym = 2;
                    if (!padding(out) && (std::abs(coef_[idx]) & fixM)) sym = becomeSignificant(idx, fixM);
                    at(pass_, row, col) = sym;
                    emit(out, CoarseSet, sym, true, idx);
                }
            for (int l = kLevels; l >= 1; --l)
                for (int band = 1; band <= 3; ++band) significancePass(out, l, band, fixM);
            if (fix > 0) {
                const int fixS = 1 << (fix - 1);
                for (int idx : list_) {
                    const int bit = !padding(out) && (std::abs(coef_[idx]) & fixS) ? 1 : 0;
                    if (bit) {
                        const int m = std::abs(known_[idx]) | fixS;
                        known_[idx] = known_[idx] < 0 ? -m : m;
                    }
                    emit(out, RefineSet, bit, true, bit ? idx : -1);
                }
                sortList(fixL - fixM, fixS);
            }
        }
        return out;
    }

private:
    // From `harmlessFrom_` on every symbol takes the value that changes no
    // coefficient: it fills a stream without disturbing the picture.
    bool padding(const ColourSymbols& out) const { return out.symbols.size() >= harmlessFrom_; }

    template <typename Fn>
    static void forEachDetail(int l, Fn fn) {
        const int h = kPlaneRows >> l, w = kPlaneCols >> l;
        for (int band = 1; band <= 3; ++band)
            for (int row = kBandRowStep[band] * h; row < kBandRowStep[band] * h + h; ++row)
                for (int col = kBandColStep[band] * w; col < kBandColStep[band] * w + w; ++col) fn(row, col);
    }

    // Whether any descendant of (row, col) at level l has `plane` entry 1.
    static bool subtreeAny(int l, int row, int col, const Plane& plane) {
        for (int j = 1; j <= l - 1; ++j) {
            const int size = 1 << j;
            for (int a = 0; a < size; ++a)
                for (int b = 0; b < size; ++b)
                    if (at(plane, row * size + a, col * size + b) == 1) return true;
        }
        return false;
    }

    void markNewlySignificant(int fixM) {
        Plane fresh = makePlane();
        for (size_t i = 0; i < coef_.size(); ++i)
            fresh[i] = (r_[i] == 1 && !sig_[i] && (std::abs(coef_[i]) & fixM)) ? 1 : 0;
        for (int l = 2; l <= kLevels; ++l)
            forEachDetail(l, [&](int row, int col) { at(treeHas_, row, col) = subtreeAny(l, row, col, fresh); });
    }

    int becomeSignificant(int idx, int fixM) {
        const bool negative = coef_[idx] < 0;
        known_[idx] = negative ? -fixM : fixM;
        sig_[idx] = 1;
        list_.push_back(idx);
        return negative ? 1 : 0;
    }

    bool zerotree(int l, int row, int col) const {
        for (int j = 1; l + j <= kLevels; ++j) {
            const int state = at(pass_, row >> j, col >> j);
            if (state != kNothing) return state == 2 || state == 4;
        }
        return false;
    }

    void visit(ColourSymbols& out, int l, int row, int col, int fixM) {
        const int idx = row * kPlaneCols + col;
        if (at(r_, row, col) == 1) {
            if (zerotree(l, row, col) || sig_[idx]) return;
            int sym;
            if (padding(out)) sym = 2;
            else if (std::abs(coef_[idx]) & fixM) sym = becomeSignificant(idx, fixM);
            else if (l == 1) sym = 2;
            else sym = at(treeHas_, row, col) ? 3 : 2;
            at(pass_, row, col) = sym;
            emit(out, l == 1 ? FineSet : DetailSet, sym, true, sym <= 1 ? idx : -1);
        } else if (l >= 2) {
            if (zerotree(l, row, col) || !at(descInside_, row, col)) return;
            const int sym = !padding(out) && at(treeHas_, row, col) ? 1 : 0;
            at(pass_, row, col) = sym ? 5 : 4;
            emit(out, OutsideSet, sym, false, -1);
        }
    }

    void significancePass(ColourSymbols& out, int l, int band, int fixM) {
        const int h = kPlaneRows >> l, w = kPlaneCols >> l;
        const int row0 = kBandRowStep[band] * h, col0 = kBandColStep[band] * w;
        if (band == 1) {
            for (int col = col0; col < col0 + w; ++col)
                for (int row = row0; row < row0 + h; ++row) visit(out, l, row, col, fixM);
        } else {
            for (int row = row0; row < row0 + h; ++row)
                for (int col = col0; col < col0 + w; ++col) visit(out, l, row, col, fixM);
        }
    }

    void sortList(int keyMask, int fixS) {
        std::vector<int> sorted;
        sorted.reserve(list_.size());
        for (size_t i = 0; i < list_.size();) {
            const int key = std::abs(known_[list_[i]]) & keyMask;
            size_t end = i;
            while (end < list_.size() && (std::abs(known_[list_[end]]) & keyMask) == key) ++end;
            for (size_t k = i; k < end; ++k)
                if (std::abs(known_[list_[k]]) & fixS) sorted.push_back(list_[k]);
            for (size_t k = i; k < end; ++k)
                if (!(std::abs(known_[list_[k]]) & fixS)) sorted.push_back(list_[k]);
            i = end;
        }
        list_.swap(sorted);
    }

    void emit(ColourSymbols& out, int set, int value, bool tested, int idx) {
        out.symbols.push_back({static_cast<uint8_t>(set), static_cast<uint8_t>(value), tested, idx,
                               idx >= 0 ? known_[idx] : 0});
    }

    const Plane& coef_;
    const Plane& r_;
    size_t harmlessFrom_;
    Plane known_, sig_, pass_, descInside_, treeHas_;
    std::vector<int> list_;
};

}  // namespace

ColourSymbols codeBitPlanes(const Plane& coefficients, const Plane& pyramid, size_t harmlessFrom) {
    return Coder(coefficients, pyramid, harmlessFrom).run();
}

Plane appliedCoefficients(const ColourSymbols& coded, size_t count) {
    Plane p = makePlane();
    for (size_t i = 0; i < count && i < coded.symbols.size(); ++i)
        if (coded.symbols[i].position >= 0) p[coded.symbols[i].position] = coded.symbols[i].newValue;
    return p;
}

}  // namespace wltenc
