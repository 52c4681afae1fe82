// A limit on how many characters the user may type into a line edit. Unlike the line edit's own
// maximum length it never cuts a text the program puts into the box (a scrolled start address may
// read 00000000), and changing the limit leaves the current text alone until it is converted.
#pragma once

#include <QLineEdit>
#include <QPointer>
#include <QValidator>

namespace korvel {

class TypedLengthLimit : public QValidator {
  public:
    TypedLengthLimit(QLineEdit* edit, int maximum) : QValidator(edit), edit_(edit), maximum_(maximum) {}

    void setMaximum(int maximum) { maximum_ = maximum; }
    int maximum() const { return maximum_; }

    State validate(QString& input, int& /*pos*/) const override
    {
        // Deleting from an over-long text is always allowed; growing it beyond the limit is not.
        if (input.size() <= maximum_ || (edit_ && input.size() < edit_->text().size()))
            return Acceptable;
        return Invalid;
    }

  private:
    QPointer<QLineEdit> edit_;
    int maximum_;
};

} // namespace korvel
