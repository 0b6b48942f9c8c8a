#pragma once

#include <QMetaType>
#include <QString>

#include <utility>
#include <variant>

// The one error value that crosses every boundary: a domain, a code and an optional text.
struct Error
{
    QString domain;
    int code = 0;
    QString localizedDescription;

    // Without its own text, an error reads the way the first platform phrased such errors.
    QString description() const
    {
        if (!localizedDescription.isEmpty())
            return localizedDescription;
        return QStringLiteral("The operation couldn’t be completed. (%1 error %2.)")
            .arg(domain)
            .arg(code);
    }

    friend bool operator==(const Error &, const Error &) = default;
};

Q_DECLARE_METATYPE(Error)

// A value or the error that prevented it.
template <typename T> class Result
{
public:
    Result(T value)
        : m_state(std::move(value))
    {}
    Result(Error error)
        : m_state(std::move(error))
    {}

    bool ok() const { return std::holds_alternative<T>(m_state); }
    explicit operator bool() const { return ok(); }

    const T &value() const { return std::get<T>(m_state); }
    const T &operator*() const { return value(); }
    const T *operator->() const { return &value(); }
    const Error &error() const { return std::get<Error>(m_state); }

private:
    std::variant<T, Error> m_state;
};
