#pragma once

#include "text.h"

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

// The dialog's designed layout, for every front end to build its controls
// from. Positions and sizes are in twips (1/1440 inch), measured from the
// top-left corner of the control's container.

// Twips at a resolution in dots per inch, rounded to the nearest pixel: at
// 96 dpi one pixel is 15 twips.
constexpr int TwipsToPixels(int twips, int dpi = 96)
{
    const long long scaled = static_cast<long long>(twips) * dpi;
    return static_cast<int>(scaled >= 0 ? (scaled + 720) / 1440 : (scaled - 720) / 1440);
}

enum class ControlKind { Button, TabControl, Frame, TextBox, MultiLineTextBox, Label, LinkLabel, ListBox, ComboBox, Bar, Picture };

// Where a control lies: the window's client area, a page of the tab control
// (the pages share the tab control's own coordinates, headers included), or a
// frame.
enum class Container { Window, TypedNumberPage, AddressBookPage, AboutPage, Frame1, Frame2, Frame3 };

enum FontStyle : unsigned { Regular = 0, Bold = 1, Italic = 2 };

struct FontSpec {
    std::u16string_view face; // empty: the platform's default dialog font
    double points = 0;
    unsigned style = Regular;
    bool IsDefault() const { return face.empty(); }
};

enum class Align { Left, Centre };

constexpr uint32_t Rgb(unsigned r, unsigned g, unsigned b) { return r | (g << 8) | (b << 16); }
inline constexpr uint32_t NoColour = 0xFFFFFFFF;

struct ControlSpec {
    std::string_view name;
    ControlKind kind;
    Container container;
    TextView caption;
    int left, top, width, height;
    int tabIndex; // -1: takes no focus
    FontSpec font;
    uint32_t colour = NoColour; // text colour, or a bar's fill
    bool hidden = false;
    bool disabled = false;
    Align align = Align::Left;
};

// The container that a frame of the table makes for the controls in it, and
// the other way round: the control whose area a container is ("" for the
// window's client area).
Container FrameContainer(std::string_view frameName);
std::string_view ContainerControl(Container container);

// In stored order: where two controls of one container overlap, the one
// listed earlier lies in front.
std::span<const ControlSpec> ControlTable();
const ControlSpec &Control(std::string_view name);

struct WindowSpec {
    TextView caption;
    int clientWidth, clientHeight;
    uint32_t background;
};
const WindowSpec &WindowLayout();

// The tab control's pages, in order, and its tab captions' font.
std::span<const TextView> TabCaptions();
inline constexpr FontSpec TabFont{u"Arial", 9.75};
// The tab headers are 520 HIMETRIC units high: about 295 twips.
inline constexpr int TabHeaderHeight = 295;
// The page selected when the program starts.
inline constexpr int InitialPage = 1;

// The keyboard focus order, by TabIndex, over the controls that can take the
// focus.
std::vector<std::string_view> FocusOrder();
