#pragma once
// The demonstration site: a small plant with four clocks, four departments
// and seven employees, and the poll log files of the week before today.
#include "cli/DemoPollFile.h"
#include "component/Database.h"

#include <QDate>
#include <QString>
#include <QStringList>
#include <vector>

namespace hx::demo {

struct PollFile {
    QString name;
    QList<QByteArray> lines;
};

class DemoSite {
public:
    // The week covered is the seven days before `today`.
    explicit DemoSite(const QDate &today);

    QDate firstDay() const { return m_firstDay; }

    // Clocks, departments, employees with their schedules and department
    // qualifications, jobs, custom rounding windows and the time clock rules.
    void seed(Database &db) const;

    // The week's poll log files, in the order of their poll times.
    std::vector<PollFile> pollFiles() const;

    // Per employee: pairs posted, open and empty scheduled pairs, hours,
    // error codes and access events; then the badges no employee holds.
    static QStringList summary(Database &db);

private:
    QDate m_firstDay;
};

} // namespace hx::demo
