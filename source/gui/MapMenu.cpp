#include "MapMenu.h"

#include <QToolButton>

namespace {

const char kButtonStyle[] =
    " QToolButton { \tborder: none; \tcolor: black; \tbackground: transparent; } "
    "QToolButton::hover { \tcolor: darkblue; \tbackground: qradialgradient(spread:pad, cx:0.5, cy:0.5, "
    "radius:0.5, fx:0.5, fy:0.5, stop:0 rgba(212, 212, 255, 192), stop:1 rgba(212, 212, 255, 0)); } ";

}  // namespace

MapMenu::MapMenu(QWidget* parent)
    : QWidget(parent)
{
    ui.setupUi(this);
    setStyleSheet(QStringLiteral("background:transparent;"));
    setAttribute(Qt::WA_TranslucentBackground);
    // The menu takes the focus when shown, so that a click elsewhere
    // (focus out) closes it.
    setFocusPolicy(Qt::StrongFocus);
    connect(ui.meteogramButton, &QToolButton::clicked, this, &MapMenu::showMeteo);
    connect(ui.zoomInButton, &QToolButton::clicked, this, &MapMenu::emitZoomIn);
    connect(ui.zoomOutButton, &QToolButton::clicked, this, &MapMenu::emitZoomOut);
    connect(ui.openGRIBButton, &QToolButton::clicked, this, &MapMenu::emitOpenGRIB);
    for (QToolButton* button : {ui.meteogramButton, ui.zoomInButton, ui.zoomOutButton, ui.openGRIBButton}) {
        button->setStyleSheet(QString::fromLatin1(kButtonStyle));
        // A button must not take the focus from the menu, or the menu
        // would close on the press before the click arrives.
        button->setFocusPolicy(Qt::NoFocus);
    }
}

void MapMenu::emitZoomIn()
{
    emit zoomIn();
    hide();
}

void MapMenu::emitZoomOut()
{
    emit zoomOut();
    hide();
}

void MapMenu::showMeteo()
{
    emit displayMeteo();
    hide();
}

void MapMenu::emitOpenGRIB()
{
    emit openGRIB();
    hide();
}

void MapMenu::focusOutEvent(QFocusEvent* event)
{
    QWidget::focusOutEvent(event);
    hide();
}
