#pragma once

#include <QString>
#include <stdexcept>

// Base of the errors that end a user's action: caught at the entry point of that action
// (a handler, an idle step, a CLI command) and shown to the user, never across Qt's dispatch.
class OrvexError : public std::runtime_error {
public:
    explicit OrvexError(const QString& text)
        : std::runtime_error(text.toStdString()), m_text(text) {}
    const QString& text() const { return m_text; }

private:
    QString m_text;
};

// A reply that a parser cannot read: a delimiter missing inside the bytes it may look at,
// a field that must be an integer and is not, too many rows.
class ParseError : public OrvexError {
public:
    using OrvexError::OrvexError;
};
