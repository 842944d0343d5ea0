#include "HLed.h"

#include "LedGeometry.h"

#include <QPainter>

struct HLed::Private
{
    int darkFactor = 300;
    QColor color = Qt::green;
    bool isOn = true;
};

HLed::HLed(QWidget *parent) : QWidget(parent), d(new Private) {}

HLed::~HLed()
{
    delete d;
}

QColor HLed::color() const
{
    return d->color;
}

bool HLed::isOn() const
{
    return d->isOn;
}

void HLed::setColor(QColor color)
{
    d->color = color;
    update();
}

void HLed::toggle()
{
    d->isOn = !d->isOn;
    update();
}

void HLed::turnOn(bool on)
{
    d->isOn = on;
    update();
}

void HLed::turnOff(bool off)
{
    d->isOn = !off;
    update();
}

QSize HLed::sizeHint() const
{
    return QSize(20, 20);
}

QSize HLed::minimumSizeHint() const
{
    return QSize(16, 16);
}

void HLed::paintEvent(QPaintEvent *)
{
    const int diameter = LedGeometry::diameter(width(), height());
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);

    QColor shade = d->isOn ? d->color : d->color.darker(d->darkFactor);
    painter.setBrush(QBrush(shade, Qt::SolidPattern));
    painter.drawEllipse(1, 1, diameter - 1, diameter - 1);

    QPen pen;
    pen.setWidth(2);

    const int lightFactor = LedGeometry::lightFactor(diameter);
    const auto spots = LedGeometry::highlightSpots(diameter);
    for (const LedGeometry::Spot &spot : spots) {
        shade = shade.lighter(lightFactor);
        pen.setColor(shade);
        painter.setPen(pen);
        painter.setBrush(shade);
        painter.drawEllipse(spot.position, spot.position, spot.width, spot.width);
    }

    paintRing(painter, pen, diameter);
}

// Twelve pairs of 15-degree arcs mirrored about -37.5 degrees: brightest there, each pair
// darker than the one before, the halves meeting at 142.5 degrees.
void HLed::paintRing(QPainter &painter, QPen &pen, int diameter) const
{
    painter.setBrush(Qt::NoBrush);
    QColor shade = palette().color(QPalette::Light);
    const qreal halfPen = pen.widthF() / 2;
    const QRectF ring(halfPen, halfPen, diameter - halfPen, diameter - halfPen);
    for (int step = 0, angle = -840; step < 12; ++step, angle -= 240) {
        pen.setColor(shade);
        painter.setPen(pen);
        painter.drawArc(ring, -1440 - angle, 240);
        painter.drawArc(ring, angle, 240);
        shade = shade.darker(110);
    }
}
