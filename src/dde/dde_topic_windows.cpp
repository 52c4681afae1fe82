#include "dde/dde_topic_windows.h"

#include "shell/main_window.h"

namespace korvel {

Tddeholding::Tddeholding(TChatForm& main) : QWidget(nullptr), main_(main)
{
    hide();
}

Tddeinput::Tddeinput(TChatForm& main) : QWidget(nullptr), main_(main)
{
    hide();
}

} // namespace korvel
