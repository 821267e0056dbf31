#pragma once

#include <QRgb>

#include <cstdint>

#include "app/session.h"
#include "ui/gridview.h"

namespace wp::ui {

// A design model colour (0x00BBGGRR) as Qt stores it.
inline QRgb fromBgr(uint32_t v) {
    return qRgb(v & 0xFF, (v >> 8) & 0xFF, (v >> 16) & 0xFF);
}

inline constexpr QRgb kMarkerColour = 0xFFFF0000;  // red
inline constexpr QRgb kBlack = 0xFF000000;
inline constexpr QRgb kWhite = 0xFFFFFFFF;

// The design grid: row 0 warp colours, column 0 the current-pick marker, column 1
// weft colours, then one cell per warp end and pick, pick 1 at the bottom and
// warp end 1 at the right.
class DesignCells : public CellSource {
public:
    explicit DesignCells(const Session& s) : s_(s) {}
    void fillRow(int r, int c0, int c1, QRgb* out) const override;

private:
    const Session& s_;
};

// Threading: one row per shaft, column c >= 2 black where warp bit c - 2 is
// threaded on that shaft.
class ThreadingCells : public CellSource {
public:
    ThreadingCells(const Session& s, QRgb face) : s_(s), face_(face) {}
    void fillRow(int r, int c0, int c1, QRgb* out) const override;

private:
    const Session& s_;
    QRgb face_;
};

// Tie-up: treadle columns by shaft rows.
class TieUpCells : public CellSource {
public:
    explicit TieUpCells(const Session& s) : s_(s) {}
    void fillRow(int r, int c0, int c1, QRgb* out) const override;

private:
    const Session& s_;
};

// Treadling: treadle columns by pick rows, row 0 fixed.
class TreadlingCells : public CellSource {
public:
    TreadlingCells(const Session& s, QRgb face) : s_(s), face_(face) {}
    void fillRow(int r, int c0, int c1, QRgb* out) const override;

private:
    const Session& s_;
    QRgb face_;
};

}  // namespace wp::ui
