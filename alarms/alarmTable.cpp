// The alarm table and its lookup by id.
#include "alarms/alarmTable.h"

#include "Config/StrutturaDati.h"

#include <array>

const AlarmRow kAlarmRows[] = {
#include "alarms/gen/alarmTable.inc"
};
const int kAlarmRowCount = sizeof kAlarmRows / sizeof kAlarmRows[0];

namespace {

using RowIndex = std::array<const AlarmRow*, ALARM_ID_COUNT>;

RowIndex buildIndex()
{
    RowIndex index{};
    for (const AlarmRow& r : kAlarmRows)
        index[r.id] = &r;
    return index;
}

} // namespace

const AlarmRow* alarmRow(uint8_t id)
{
    static const RowIndex index = buildIndex();
    return id < ALARM_ID_COUNT ? index[id] : nullptr;
}
