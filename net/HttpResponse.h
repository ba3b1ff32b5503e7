#pragma once

#include <QByteArray>

// One answer: its status, its Content-Type (none when empty), its body, and for a 405 the
// methods that are served.
struct HttpResponse {
    int status = 200;
    QByteArray contentType;
    QByteArray body;
    QByteArray allow = {};
};
