// Colours, cursors, fonts and the small geometry types of the window framework.
#pragma once

#include <cstdint>
#include <string>

// A colour: the low byte is red, the next green, the next blue.
using TColor = int32_t;
constexpr TColor clBlack = 0x000000;
constexpr TColor clWhite = 0xFFFFFF;
constexpr TColor clGray = 0x808080;
constexpr TColor clSilver = 0xC0C0C0;
constexpr TColor clRed = 0x0000FF;
constexpr TColor clNavy = 0x800000;

constexpr TColor RGB(uint8_t r, uint8_t g, uint8_t b) {
  return static_cast<TColor>(r | (g << 8) | (b << 16));
}
constexpr uint8_t GetRValue(TColor c) { return static_cast<uint8_t>(c & 0xFF); }
constexpr uint8_t GetGValue(TColor c) { return static_cast<uint8_t>((c >> 8) & 0xFF); }
constexpr uint8_t GetBValue(TColor c) { return static_cast<uint8_t>((c >> 16) & 0xFF); }

// Mouse cursor shapes shown over a control.
using TCursor = int16_t;
constexpr TCursor crDefault = 0;
constexpr TCursor crArrow = -2;
constexpr TCursor crHandPoint = -21;

enum TMouseButton { mbLeft, mbRight, mbMiddle };

// Modifier keys and mouse buttons held down during an event.
using TShiftState = unsigned;
constexpr TShiftState ssShift = 1u << 0;
constexpr TShiftState ssAlt = 1u << 1;
constexpr TShiftState ssCtrl = 1u << 2;
constexpr TShiftState ssLeft = 1u << 3;
constexpr TShiftState ssRight = 1u << 4;
constexpr TShiftState ssMiddle = 1u << 5;

enum TAlignment { taLeftJustify, taRightJustify, taCenter };

enum TFontStyle : unsigned { fsBold = 1u << 0, fsItalic = 1u << 1 };

// A font: its face name, its character height in pixels and its colour.
struct TFont {
  std::string Name = "MS Sans Serif";
  int Height = 11;
  TColor Color = clBlack;
  unsigned Style = 0;

  bool operator==(const TFont& o) const {
    return Name == o.Name && Height == o.Height && Color == o.Color && Style == o.Style;
  }
  bool operator!=(const TFont& o) const { return !(*this == o); }
};

struct TPoint {
  int x = 0;
  int y = 0;
};

inline TPoint Point(int x, int y) { return TPoint{x, y}; }
