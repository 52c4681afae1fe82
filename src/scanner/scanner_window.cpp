#include "scanner/scanner_window.h"

#include "shell/main_window.h"

namespace korvel {

Tscanner::Tscanner(TChatForm& main) : QWidget(nullptr), main_(main)
{
    setWindowTitle(QStringLiteral("Register Scanner"));
    hide();
}

} // namespace korvel
