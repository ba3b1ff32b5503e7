#pragma once

#include "panel/SatelliteWindow.h"

class QPlainTextEdit;

// The diagnostics window: the report of one module in a read-only green memo. It exists only
// while the report is shown.
class TDiagFrm : public SatelliteWindow {
    Q_OBJECT
public:
    explicit TDiagFrm(QWidget* owner);

    QPlainTextEdit* mmDiag = nullptr;
};
