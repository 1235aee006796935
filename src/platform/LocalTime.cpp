#include "platform/LocalTime.h"

namespace platform {
namespace {
std::function<QDateTime()>& Source() {
  static std::function<QDateTime()> source;
  return source;
}
}  // namespace

QDateTime Now() { return Source() ? Source()() : QDateTime::currentDateTime(); }

void SetNowSource(std::function<QDateTime()> source) { Source() = std::move(source); }

}  // namespace platform
