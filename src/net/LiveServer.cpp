#include "net/LiveServer.h"

#include <QLoggingCategory>
#include <QThread>
#include <algorithm>
#include <future>
#include <mutex>
#include <sys/resource.h>
#include <unistd.h>

#include "net/LiveServerCore.h"

namespace {

struct TStartResult {
  bool ok = false;
  QString error;
  quint16 port = 0;
  TLiveServerCore* core = nullptr;
};

// Runs the core and its event loop; the core is made and destroyed on this thread.
class TLiveServerThread : public QThread {
public:
  TLiveServerThread(const TLiveServerOptions& options, std::atomic<int>* connections, TLivePublicationPtr publication,
                    TLiveServerCore::TStations stations)
      : options_(options), connections_(connections), publication_(std::move(publication)),
        stations_(std::move(stations)) {}
  std::future<TStartResult> Started() { return started_.get_future(); }

protected:
  void run() override {
    // Below the window's thread: a flood of clients must not take the processor from timing.
    (void)setpriority(PRIO_PROCESS, id_t(gettid()), 5);
    TLiveServerCore core(options_, connections_, std::move(publication_));
    core.SetStations(std::move(stations_));
    TStartResult result;
    result.ok = core.Listen(&result.error);
    result.port = core.Port();
    result.core = result.ok ? &core : nullptr;
    started_.set_value(result);
    if (result.ok) exec();
  }

private:
  const TLiveServerOptions options_;
  std::atomic<int>* connections_;
  TLivePublicationPtr publication_;
  TLiveServerCore::TStations stations_;
  std::promise<TStartResult> started_;
};

// The module warns about every WebSocket upgrade it is sent. Any client can send one, so the
// warnings tell the operator nothing and a client could flood the log with them.
QLoggingCategory::CategoryFilter previousFilter = nullptr;

void QuietModuleWarnings(QLoggingCategory* category) {
  if (previousFilter) previousFilter(category);
  if (qstrcmp(category->categoryName(), "qt.httpserver") == 0) category->setEnabled(QtWarningMsg, false);
}

// Every connection is a descriptor of the whole program, whose own files (protocol, journal,
// reports) must not run out because of a crowd: the soft limit is raised to hold the clients and
// a reserve, and where it cannot be, fewer clients are taken.
int ClientsWithinDescriptorLimit(int wanted) {
  constexpr rlim_t kReserve = 256;
  rlimit limit{};
  if (wanted <= 0 || getrlimit(RLIMIT_NOFILE, &limit) != 0) return wanted;
  const rlim_t needed = rlim_t(wanted) + kReserve;
  if (limit.rlim_cur != RLIM_INFINITY && limit.rlim_cur < needed) {
    limit.rlim_cur = limit.rlim_max == RLIM_INFINITY ? needed : std::min(needed, limit.rlim_max);
    (void)setrlimit(RLIMIT_NOFILE, &limit);
    (void)getrlimit(RLIMIT_NOFILE, &limit);
  }
  if (limit.rlim_cur == RLIM_INFINITY || limit.rlim_cur >= needed) return wanted;
  return limit.rlim_cur > 2 * kReserve ? int(limit.rlim_cur - kReserve) : int(limit.rlim_cur / 2);
}

}  // namespace

TLiveServer::TLiveServer(QObject* parent) : QObject(parent) {}

TLiveServer::~TLiveServer() { Stop(); }

bool TLiveServer::Start(const TLiveServerOptions& options, QString* error) {
  Stop();
  static std::once_flag quiet;
  std::call_once(quiet, [] { previousFilter = QLoggingCategory::installFilter(&QuietModuleWarnings); });
  TLivePublicationPtr publication;
  {
    std::lock_guard lock(mutex_);
    publication = latest_;
  }
  TLiveServerOptions within = options;
  within.maxClients = ClientsWithinDescriptorLimit(options.maxClients);
  TLiveServerCore::TStations stations;
  stations.desk = stations_;
  stations.deliver = [this](TStationBatch batch) { Deliver(std::move(batch)); };
  auto thread = std::make_unique<TLiveServerThread>(within, &connections_, publication, std::move(stations));
  thread->setObjectName(QStringLiteral("LiveServer"));
  auto started = thread->Started();
  thread->start();
  const TStartResult result = started.get();
  if (!result.ok) {
    thread->wait();
    if (error) *error = result.error;
    return false;
  }
  std::lock_guard lock(mutex_);
  port_ = result.port;
  core_ = result.core;
  thread_ = std::move(thread);
  // A publication that came in between taking it above and now would be missed.
  if (latest_ != publication) {
    QMetaObject::invokeMethod(core_, [core = core_, p = latest_] { core->SetPublication(p); }, Qt::QueuedConnection);
  }
  return true;
}

void TLiveServer::Stop() {
  {
    std::lock_guard lock(mutex_);
    core_ = nullptr;
  }
  if (!thread_) return;
  thread_->quit();
  thread_->wait();
  thread_.reset();
  port_ = 0;
}

bool TLiveServer::Running() const { return thread_ != nullptr; }

quint16 TLiveServer::Port() const { return port_; }

void TLiveServer::Publish(TLivePublicationPtr publication) {
  if (!publication) return;
  std::lock_guard lock(mutex_);
  latest_ = publication;
  if (core_) {
    QMetaObject::invokeMethod(core_, [core = core_, p = std::move(publication)] { core->SetPublication(p); },
                              Qt::QueuedConnection);
  }
}

int TLiveServer::Connections() const { return connections_.load(); }

void TLiveServer::SetStationAccess(const QByteArray& token, const QStringList& knownIds) {
  stations_->SetAccess(token, knownIds);
}

std::vector<TStationInfo> TLiveServer::Stations() const { return stations_->Stations(); }

void TLiveServer::DropStation(const QString& device) { stations_->Drop(device); }

void TLiveServer::Deliver(TStationBatch batch) {
  // On the server thread. This object outlives the thread (its destructor joins it), and a call
  // still queued when it goes is discarded with it. A batch the station was told is taken is
  // handed over also when a new code came in between: the phone will not send it again.
  QMetaObject::invokeMethod(
      this,
      [this, batch = std::move(batch)] {
        if (OnStationPasses) OnStationPasses(batch);
      },
      Qt::QueuedConnection);
}
