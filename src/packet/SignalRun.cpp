#include "packet/SignalRun.h"

namespace packet {

SignalRun::SignalRun(const SignalPlan* plan, int32_t parmCount)
    : cursors(static_cast<size_t>(parmCount)) {
  if (plan == nullptr) return;
  for (size_t s = 0; s < plan->sourceCount(); ++s)
    sources.push_back(&plan->source(static_cast<int32_t>(s)));
  for (size_t i = 0; i < cursors.size(); ++i) {
    cursors[i].source = plan->SourceOf(i);
    cursors[i].plain = cursors[i].source < 0;
  }
}

void SignalRun::MarkLogged(int32_t record) {
  SignalCursor& cursor = cursors[static_cast<size_t>(record)];
  cursor.logged = true;
  cursor.plain = false;
  anyLogged_ = true;
}

}  // namespace packet
