#include "dialog_layout.h"

#include "contact_list.h"
#include "link_label.h"
#include "qt_text.h"
#include "tab_pages.h"

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

namespace {
QColor Colour(uint32_t rgb)
{
    return QColor(int(rgb & 0xFF), int((rgb >> 8) & 0xFF), int((rgb >> 16) & 0xFF));
}

// Arial's metric-compatible stand-in on a free desktop is Liberation Sans;
// Arial Black has none, so that family's heaviest weight stands in for it.
// A control without a font of its own gets the default font outright, not
// what its container was given.
QFont FontFor(const FontSpec &spec)
{
    QFont font = QApplication::font();
    if (spec.IsDefault()) {
        font.setFamilies(font.families().isEmpty() ? QStringList{font.family()} : font.families());
        font.setPointSizeF(font.pointSizeF());
        font.setWeight(font.weight());
        font.setItalic(font.italic());
        return font;
    }
    const QString face = ToQString(spec.face);
    const bool black = face == QLatin1String("Arial Black");
    font.setFamilies({face, QStringLiteral("Liberation Sans")});
    font.setPointSizeF(spec.points);
    font.setWeight(black ? QFont::Black : spec.style & Bold ? QFont::Bold : QFont::Normal);
    font.setItalic(spec.style & Italic);
    return font;
}

void SetColour(QWidget *control, QPalette::ColorRole role, uint32_t rgb)
{
    QPalette palette = control->palette();
    palette.setColor(role, Colour(rgb));
    control->setPalette(palette);
}

QString LicenceText()
{
    QFile licence(QStringLiteral(":/licence.txt"));
    return licence.open(QIODevice::ReadOnly) ? QString::fromUtf8(licence.readAll()) : QString();
}

QWidget *Make(const ControlSpec &spec, QWidget *container)
{
    const QString caption = ToQString(spec.caption);
    switch (spec.kind) {
    case ControlKind::Button:
        return new QPushButton(caption, container);
    case ControlKind::TabControl: {
        QStringList captions;
        for (TextView tab : TabCaptions())
            captions << ToQString(tab);
        auto *tabs = new TabPages(captions, TwipsToPixels(TabHeaderHeight), container);
        tabs->Tabs()->setFont(FontFor(spec.font));
        return tabs;
    }
    case ControlKind::Frame:
        return new QGroupBox(caption, container);
    case ControlKind::TextBox:
        return new QLineEdit(caption, container);
    case ControlKind::MultiLineTextBox: {
        auto *box = new QPlainTextEdit(LicenceText(), container);
        box->setReadOnly(true);
        box->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
        box->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        box->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        return box;
    }
    case ControlKind::Label:
        return new QLabel(caption, container);
    case ControlKind::LinkLabel: {
        auto *link = new LinkLabel(caption, container);
        link->setCursor(Qt::PointingHandCursor);
        return link;
    }
    case ControlKind::ListBox:
        return new ContactList(container);
    case ControlKind::ComboBox:
        return new QComboBox(container);
    case ControlKind::Bar: {
        auto *bar = new QFrame(container);
        bar->setAutoFillBackground(true);
        SetColour(bar, QPalette::Window, spec.colour);
        return bar;
    }
    case ControlKind::Picture: {
        auto *picture = new QLabel(container);
        picture->setPixmap(QPixmap(QStringLiteral(":/banner.png")));
        picture->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        return picture;
    }
    }
    return nullptr;
}
} // namespace

QRect TwipsRect(int left, int top, int width, int height)
{
    return {TwipsToPixels(left), TwipsToPixels(top), TwipsToPixels(width), TwipsToPixels(height)};
}

DialogWidgets BuildDialogLayout(QWidget &window)
{
    const WindowSpec &spec = WindowLayout();
    window.setWindowTitle(ToQString(spec.caption));
    window.setFixedSize(TwipsToPixels(spec.clientWidth), TwipsToPixels(spec.clientHeight));
    window.setAutoFillBackground(true);
    SetColour(&window, QPalette::Window, spec.background);

    DialogWidgets w;
    TabPages *tabs = nullptr;
    std::map<Container, QWidget *> containers{{Container::Window, &window}};
    std::map<QWidget *, std::vector<QWidget *>> frontToBack;
    for (const ControlSpec &control : ControlTable()) {
        QWidget *container = containers.at(control.container);
        QWidget *widget = Make(control, container);
        widget->setGeometry(TwipsRect(control.left, control.top, control.width, control.height));
        if (control.kind != ControlKind::TabControl && control.kind != ControlKind::Bar
            && control.kind != ControlKind::Picture)
            widget->setFont(FontFor(control.font));
        if (control.colour != NoColour && control.kind != ControlKind::Bar)
            SetColour(widget, QPalette::WindowText, control.colour);
        if (auto *label = qobject_cast<QLabel *>(widget); label && control.align == Align::Centre)
            label->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
        widget->setEnabled(!control.disabled);
        if (control.hidden)
            widget->hide();
        widget->setObjectName(QString::fromLatin1(control.name.data(), qsizetype(control.name.size())));
        w.named.emplace(control.name, widget);
        frontToBack[container].push_back(widget);
        if (control.kind == ControlKind::Frame)
            containers.emplace(FrameContainer(control.name), widget);
        if (control.kind == ControlKind::TabControl) {
            tabs = static_cast<TabPages *>(widget);
            containers.emplace(Container::TypedNumberPage, tabs->Page(0));
            containers.emplace(Container::AddressBookPage, tabs->Page(1));
            containers.emplace(Container::AboutPage, tabs->Page(2));
        }
    }
    // Controls that share a container overlap as designed: the one listed
    // first lies in front.
    for (auto &[container, controls] : frontToBack) {
        for (auto it = controls.rbegin(); it != controls.rend(); ++it)
            (*it)->raise();
    }
    tabs->SetCurrentIndex(InitialPage);

    // The keyboard's focus order; disabled controls are skipped.
    QWidget *previous = nullptr;
    for (std::string_view name : FocusOrder()) {
        QWidget *next = name == "tab_addressselect" ? tabs->Tabs() : w.Named(name);
        if (previous)
            QWidget::setTabOrder(previous, next);
        previous = next;
        w.focusOrder.push_back(next);
    }

    w.btn_cancel = static_cast<QPushButton *>(w.Named("btn_cancel"));
    w.btn_send = static_cast<QPushButton *>(w.Named("btn_send"));
    w.tab_addressselect = tabs;
    w.Frame1 = static_cast<QGroupBox *>(w.Named("Frame1"));
    w.Frame2 = static_cast<QGroupBox *>(w.Named("Frame2"));
    w.Frame3 = static_cast<QGroupBox *>(w.Named("Frame3"));
    w.Text1 = static_cast<QPlainTextEdit *>(w.Named("Text1"));
    w.lbl_starthomepage = static_cast<LinkLabel *>(w.Named("lbl_starthomepage"));
    w.txt_outlookfaxno = static_cast<QComboBox *>(w.Named("txt_outlookfaxno"));
    w.addressList = static_cast<ContactList *>(w.Named("addressList"));
    w.txt_faxno = static_cast<QLineEdit *>(w.Named("txt_faxno"));
    w.fax_notify = static_cast<QLabel *>(w.Named("fax_notify"));
    w.Image1 = static_cast<QLabel *>(w.Named("Image1"));
    return w;
}
