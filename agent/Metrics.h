#pragma once

#include <QByteArray>
#include <QString>

struct HeadendStatus;

// The head-end in the Prometheus text exposition format (version 0.0.4, UTF-8). Module series
// carry the labels subrack (1-2) and slot (1-16) as the windows number them; a slot appears
// once a module has answered there since the monitor started, and a module that stops
// answering stays as orvex_module_present 0. While the line is down only the monitor's own
// series are served.
namespace Metrics {

inline const QByteArray ContentType = "text/plain; version=0.0.4; charset=utf-8";

QByteArray render(const HeadendStatus& status);

// A label value between double quotes: backslash, double quote and line feed escaped.
QString labelValue(const QString& text);

} // namespace Metrics
