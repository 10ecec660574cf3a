#include "layout.h"

#include "texts.h"

#include <algorithm>
#include <array>
#include <stdexcept>
#include <string>

namespace {
using enum ControlKind;
using C = Container;

constexpr FontSpec Default{};
constexpr FontSpec Arial(double points, unsigned style = Regular) { return {u"Arial", points, style}; }
constexpr uint32_t kRed = Rgb(255, 0, 0);
constexpr uint32_t kBlue = Rgb(0, 0, 255);
constexpr uint32_t kBlack = Rgb(0, 0, 0);
constexpr uint32_t kBar = Rgb(128, 128, 255);
constexpr FontSpec kHolder = Arial(9.75, Bold | Italic);

// clang-format off
constexpr std::array kControls = {
    ControlSpec{"btn_cancel", Button, C::Window, texts::CancelFax, 0, 6600, 3135, 375, 24, Default},
    ControlSpec{"btn_send", Button, C::Window, texts::SendFax, 3240, 6600, 7575, 375, 0, Default, NoColour, false, true},
    ControlSpec{"tab_addressselect", TabControl, C::Window, u"", -120, 2040, 11085, 4455, 1, TabFont},
    ControlSpec{"Frame3", Frame, C::AboutPage, texts::LicenceFrame, 120, 2760, 10815, 1575, 21, Arial(8.25)},
    ControlSpec{"Text1", MultiLineTextBox, C::Frame3, u"", 120, 240, 10575, 1215, 22, Default},
    ControlSpec{"Frame1", Frame, C::AboutPage, texts::WebsiteFrame, 6000, 1200, 4575, 1215, 13, Arial(8.25)},
    ControlSpec{"lbl_starthomepage", LinkLabel, C::Frame1, texts::HomePage, 360, 480, 3795, 330, 19, Arial(14.25, Bold), kBlue},
    ControlSpec{"txt_outlookfaxno", ComboBox, C::AddressBookPage, u"", 240, 3960, 10575, 315, 7, Default},
    ControlSpec{"addressList", ListBox, C::AddressBookPage, u"", 240, 480, 10575, 3375, 3, Default, NoColour, false, true},
    ControlSpec{"txt_faxno", TextBox, C::TypedNumberPage, u"", 2760, 2520, 5415, 405, 2, Arial(12, Bold)},
    ControlSpec{"Frame2", Frame, C::AboutPage, texts::MakerFrame, 120, 360, 10815, 2295, 14, Arial(8.25)},
    ControlSpec{"Label2", Label, C::Frame2, texts::MakerLine, 0, 360, 10815, 375, 23, Arial(9, Bold | Italic), kBlack, false, false, Align::Centre},
    ControlSpec{"Label4", Label, C::Frame2, texts::ServiceLine4, 840, 1800, 4095, 240, 18, Arial(9.75), kBlack},
    ControlSpec{"Label6", Label, C::Frame2, texts::ServiceLine1, 2400, 720, 1020, 285, 17, Arial(12, Bold), kRed},
    ControlSpec{"Label7", Label, C::Frame2, texts::ServiceLine3, 1320, 1440, 3165, 240, 16, Arial(9.75)},
    ControlSpec{"Label8", Label, C::Frame2, texts::ServiceLine2, 1080, 1080, 3660, 285, 15, Arial(12, Bold), kRed},
    ControlSpec{"lbl_recipient", Label, C::AddressBookPage, texts::RecipientHolder, 960, 240, 2175, 255, 25, Default, NoColour, true},
    ControlSpec{"Label12", Label, C::TypedNumberPage, texts::TypedNumberHint, 240, 1680, 10635, 270, 20, Arial(12), NoColour, false, false, Align::Centre},
    ControlSpec{"Label10", Label, C::AddressBookPage, texts::BusinessFax, 840, 3840, 1140, 240, 12, kHolder, NoColour, true},
    ControlSpec{"Label3", Label, C::AddressBookPage, texts::HomeFax, 4320, 3840, 870, 240, 11, kHolder, NoColour, true},
    ControlSpec{"lbl_of", Label, C::AddressBookPage, texts::OtherFax, 7680, 3840, 840, 240, 10, kHolder, NoColour, true},
    ControlSpec{"lbl_otherfaxno", Label, C::AddressBookPage, u"", 7800, 3840, 1695, 495, 6, kHolder, NoColour, true},
    ControlSpec{"lbl_businessfaxno", Label, C::AddressBookPage, u"", 840, 3720, 2175, 375, 5, kHolder, NoColour, true},
    ControlSpec{"lbl_homefaxno", Label, C::AddressBookPage, u"", 4200, 3720, 2175, 375, 4, kHolder, NoColour, true},
    ControlSpec{"fax_notify", Label, C::Window, texts::Headline, 0, 1320, 10815, 615, 9, {u"Arial Black", 24, Bold | Italic}, NoColour, false, false, Align::Centre},
    ControlSpec{"lbl_connect", Label, C::Window, texts::NotConnected, 3240, 120, 1215, 255, 8, Default, NoColour, true},
    ControlSpec{"Shape4", Bar, C::Window, u"", 0, 7080, 11055, 135, -1, Default, kBar},
    ControlSpec{"Image1", Picture, C::Window, u"", -360, 0, 11250, 1185, -1, Default},
    ControlSpec{"Shape1", Bar, C::Window, u"", -120, 1080, 11055, 255, -1, Default, kBar},
};
// clang-format on

constexpr WindowSpec kWindow{texts::WindowCaption, 10815, 7185, Rgb(255, 255, 255)};
constexpr std::array kTabs = {texts::TypedNumberTab, texts::AddressBookTab, texts::AboutTab};
} // namespace

std::span<const ControlSpec> ControlTable()
{
    return kControls;
}

const ControlSpec &Control(std::string_view name)
{
    const auto found = std::find_if(kControls.begin(), kControls.end(),
                                    [name](const ControlSpec &control) { return control.name == name; });
    if (found == kControls.end())
        throw std::out_of_range("no control named " + std::string(name));
    return *found;
}

Container FrameContainer(std::string_view frameName)
{
    if (frameName == "Frame1")
        return Container::Frame1;
    if (frameName == "Frame2")
        return Container::Frame2;
    if (frameName == "Frame3")
        return Container::Frame3;
    throw std::out_of_range("no frame named " + std::string(frameName));
}

std::string_view ContainerControl(Container container)
{
    switch (container) {
    case Container::TypedNumberPage:
    case Container::AddressBookPage:
    case Container::AboutPage:
        return "tab_addressselect";
    case Container::Frame1:
        return "Frame1";
    case Container::Frame2:
        return "Frame2";
    case Container::Frame3:
        return "Frame3";
    case Container::Window:
        break;
    }
    return {};
}

const WindowSpec &WindowLayout()
{
    return kWindow;
}

std::span<const TextView> TabCaptions()
{
    return kTabs;
}

std::vector<std::string_view> FocusOrder()
{
    std::vector<const ControlSpec *> focusable;
    for (const ControlSpec &control : kControls) {
        switch (control.kind) {
        case Button: case TabControl: case TextBox: case MultiLineTextBox: case ListBox: case ComboBox:
            focusable.push_back(&control);
            break;
        default:
            break;
        }
    }
    std::sort(focusable.begin(), focusable.end(),
              [](const ControlSpec *a, const ControlSpec *b) { return a->tabIndex < b->tabIndex; });
    std::vector<std::string_view> names;
    for (const ControlSpec *control : focusable)
        names.push_back(control->name);
    return names;
}
