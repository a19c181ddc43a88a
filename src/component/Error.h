#pragma once
// The error every procedure's handler catches: a description and a number,
// as the reporting of the log files expects them.
#include <QString>
#include <new>
#include <stdexcept>

namespace hx {

namespace ErrNo {
constexpr long InvalidProcedureCall = 5;
constexpr long Overflow = 6;
constexpr long TypeMismatch = 13;
constexpr long FileNotFound = 53;
constexpr long PermissionDenied = 70;
constexpr long PathNotFound = 76;
constexpr long InvalidUseOfNull = 94;
constexpr long ItemNotFound = 3265;
// Database failures carry a negative number, as data-access layers report them,
// so the log does not print them as "ErrCode=".
constexpr long Database = -2147467259;
} // namespace ErrNo

class HxError : public std::runtime_error {
public:
    explicit HxError(const QString &description, long number = ErrNo::InvalidProcedureCall)
        : std::runtime_error(description.toStdString()), m_description(description), m_number(number) {}
    const QString &description() const { return m_description; }
    long number() const { return m_number; }

private:
    QString m_description;
    long m_number;
};

// A failure that is not about one row: a full disk, an I/O error, a lock held
// past the timeout, a lost server, exhausted memory. No handler of a stage
// goes on after it; it ends the whole unit of work, which is rolled back.
class FatalDatabaseError : public HxError {
public:
    using HxError::HxError;
};

// For the handlers that report a failure and go on: call first thing in the
// catch block; a fatal failure (or exhausted memory) goes on up instead.
inline void rethrowIfFatal(const std::exception &e) {
    if (dynamic_cast<const FatalDatabaseError *>(&e) || dynamic_cast<const std::bad_alloc *>(&e)) throw;
}

// The description of any error a handler caught: ours as we wrote it, anything
// else by what it says of itself.
inline QString errorDescription(const std::exception &e) {
    if (const auto *hx = dynamic_cast<const HxError *>(&e)) return hx->description();
    return QString::fromLocal8Bit(e.what());
}

} // namespace hx
