#pragma once

#include <QIcon>
#include <QPixmap>

// The program's own pictures, drawn rather than shipped: the window icon and the 200 x 80
// picture of the about box.
QIcon orvexIcon();
QPixmap orvexPicture();
