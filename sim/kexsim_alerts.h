// Price alerts: each user's alerts, kept by number, and the three alert
// endpoints. Adding and removing answer with the short action reply of the
// order endpoints (tags "add-alert" and "remove-alert", X-Order-NO the alert's
// number); the list answers with one compressed record per alert, then the end
// nibble alone.
//
//   /kx2/add-alert.php?portfolio=&exchange=&security=&alertno=&field=&cond=
//       &cond_value=&days=&flags=&flagkexora=&workspace=&sound=&email=&sms=
//       alertno 0 adds an alert under a new number, else replaces that alert
//   /kx2/remove-alert.php?portfolio=&alertno=
//   /kx2/get-alerts-zbin.php? (all) or ?alertno=N (that one, or nothing)
//
// An alert record, in the order the client reads it:
//   1 text(64)   exchange             10 value     condition value
//   2 text(64)   security             11 time      when it fired (A alone: not yet)
//   3 int64      alert number         12 value     price it fired at (empty: not yet)
//   4 time       when it was added    13 int       state, 0 waiting
//   5 int        days it stays        14 int       times it fired, 0
//   6 time       when it last changed 15 text(256) workspace
//   7 int        field 1-4 (LAST, BID, ASK, VOLUME)   16 text(256) sound
//   8 int        cond 1-2 (FALL, RAISE)               17 text(256) e-mail
//   9 int        flags                18 text(64)  sms
// Texts are the bytes the client sent (URL-decoded), cut to fit their field.
#pragma once

#include <vector>

#include "kexsim_exchange.h"

namespace kexsim {

namespace alert_text {
inline constexpr const char* kBadField = "Неверное поле оповещения";
inline constexpr const char* kBadCondition = "Неверное условие оповещения";
inline constexpr const char* kBadParameters = "Неверные параметры оповещения";
inline constexpr const char* kUnknownAlert = "Оповещение не найдено";
}  // namespace alert_text

// The three alert routes: kinds "add-alert", "remove-alert" and "alerts".
std::vector<Route> alertRoutes();

}  // namespace kexsim
