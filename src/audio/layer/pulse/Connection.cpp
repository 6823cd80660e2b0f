#include "audio/layer/pulse/Connection.h"

#include "audio/layer/pulse/PulseShared.h"

#include <utility>

namespace praatkist::audio::pulse {

namespace {

void SubscribeCallback(pa_context *, pa_subscription_event_type_t t, std::uint32_t,
                       void *user) noexcept
{
  auto *conn = static_cast<TPulseConnection *>(user);
  const auto facility = t & PA_SUBSCRIPTION_EVENT_FACILITY_MASK;
  if (facility == PA_SUBSCRIPTION_EVENT_SOURCE || facility == PA_SUBSCRIPTION_EVENT_SERVER)
    conn->Serial.fetch_add(1);
}

void ContextStateCallback(pa_context *c, void *user) noexcept
{
  auto *conn = static_cast<TPulseConnection *>(user);
  switch (pa_context_get_state(c)) {
  case PA_CONTEXT_READY:
    pa_context_set_subscribe_callback(c, SubscribeCallback, conn);
    if (pa_operation *o =
            pa_context_subscribe(c,
                                 static_cast<pa_subscription_mask_t>(PA_SUBSCRIPTION_MASK_SOURCE |
                                                                     PA_SUBSCRIPTION_MASK_SERVER),
                                 nullptr, nullptr))
      pa_operation_unref(o);
    conn->Up.store(true);
    conn->Serial.fetch_add(1);
    break;
  case PA_CONTEXT_FAILED:
  case PA_CONTEXT_TERMINATED:
    if (conn->Up.exchange(false))
      conn->Serial.fetch_add(1);
    break;
  default:
    break;
  }
  pa_threaded_mainloop_signal(conn->Ml, 0);
}

} // namespace

bool TPulseConnection::StartMainLoop()
{
  if (Ml)
    return true;
  Ml = pa_threaded_mainloop_new();
  if (!Ml)
    return false;
  if (pa_threaded_mainloop_start(Ml) < 0) {
    pa_threaded_mainloop_free(Ml);
    Ml = nullptr;
    return false;
  }
  return true;
}

void TPulseConnection::DropContext()
{
  if (!Ctx)
    return;
  pa_context_set_subscribe_callback(Ctx, nullptr, nullptr);
  pa_context_set_state_callback(Ctx, nullptr, nullptr);
  pa_context_disconnect(Ctx);
  pa_context_unref(Ctx);
  Ctx = nullptr;
  Up.store(false);
}

bool TPulseConnection::BeginConnect()
{
  LastAttempt = std::chrono::steady_clock::now();
  Ctx = pa_context_new(pa_threaded_mainloop_get_api(Ml), "Praatkist");
  if (!Ctx)
    return false;
  pa_context_set_state_callback(Ctx, ContextStateCallback, this);
  return pa_context_connect(Ctx, Server.empty() ? nullptr : Server.c_str(), PA_CONTEXT_NOAUTOSPAWN,
                            nullptr) >= 0;
}

bool TPulseConnection::EnsureConnected()
{
  if (!StartMainLoop())
    return false;
  TLoopLock lock(Ml);
  if (Ctx) {
    WaitFor(Ml, [this] {
      return !PA_CONTEXT_IS_GOOD(pa_context_get_state(Ctx)) ||
             pa_context_get_state(Ctx) == PA_CONTEXT_READY;
    });
    if (ContextReady(Ctx))
      return true;
    // The server went away: start afresh. Streams of the old context keep their
    // own reference to it.
    DropContext();
  }
  if (BeginConnect()) {
    WaitFor(Ml, [this] {
      return !PA_CONTEXT_IS_GOOD(pa_context_get_state(Ctx)) ||
             pa_context_get_state(Ctx) == PA_CONTEXT_READY;
    });
  }
  if (ContextReady(Ctx))
    return true;
  DropContext();
  return false;
}

void TPulseConnection::Watch()
{
  if (Ml) {
    TLoopLock lock(Ml);
    if (Ctx && PA_CONTEXT_IS_GOOD(pa_context_get_state(Ctx)))
      return;
  }
  if (std::chrono::steady_clock::now() - LastAttempt < std::chrono::seconds(1))
    return;
  if (!StartMainLoop())
    return;
  TLoopLock lock(Ml);
  DropContext();
  if (!BeginConnect())
    DropContext();
}

void TPulseConnection::Disconnect()
{
  if (!Ml)
    return;
  {
    TLoopLock lock(Ml);
    DropContext();
  }
  pa_threaded_mainloop_stop(Ml);
  pa_threaded_mainloop_free(Ml);
  Ml = nullptr;
}

namespace {

struct TServerQuery {
  pa_threaded_mainloop *Ml = nullptr;
  bool Done = false;
  std::string Source, Sink;
};

void ServerInfoCallback(pa_context *, const pa_server_info *i, void *user) noexcept
{
  auto *q = static_cast<TServerQuery *>(user);
  try {
    if (i && i->default_source_name)
      q->Source = i->default_source_name;
    if (i && i->default_sink_name)
      q->Sink = i->default_sink_name;
  } catch (...) {
  }
  q->Done = true;
  pa_threaded_mainloop_signal(q->Ml, 0);
}

struct TSourceQuery {
  pa_threaded_mainloop *Ml = nullptr;
  bool Done = false;
  bool Failed = false;
  std::vector<TAudioDeviceInfo> List;
};

void SourceInfoCallback(pa_context *, const pa_source_info *i, int eol, void *user) noexcept
{
  auto *q = static_cast<TSourceQuery *>(user);
  if (eol != 0 || !i) {
    q->Done = true;
    q->Failed = eol < 0;
    pa_threaded_mainloop_signal(q->Ml, 0);
    return;
  }
  try {
    TAudioDeviceInfo d;
    d.Name = i->description ? i->description : (i->name ? i->name : "");
    d.Driver = i->name ? i->name : "";
    bool usable = true;
    if (i->n_ports > 0) {
      usable = false;
      for (std::uint32_t k = 0; k < i->n_ports; ++k)
        if (i->ports[k] && i->ports[k]->available != PA_PORT_AVAILABLE_NO)
          usable = true;
    }
    if (usable)
      d.Flags |= kDeviceEnabled;
    if (i->monitor_of_sink != PA_INVALID_INDEX)
      d.Flags |= kDeviceLoopback;
    q->List.push_back(std::move(d));
  } catch (...) {
    q->Failed = true;
  }
}

} // namespace

bool TPulseConnection::ServerDefaults(std::string &source, std::string &sink)
{
  TLoopLock lock(Ml);
  TServerQuery q;
  q.Ml = Ml;
  if (!WaitOperation(Ml, pa_context_get_server_info(Ctx, ServerInfoCallback, &q)) || !q.Done)
    return false;
  source = q.Source;
  sink = q.Sink;
  return true;
}

bool TPulseConnection::ReadDevices(std::vector<TAudioDeviceInfo> &list)
{
  std::string defSource, defSink;
  if (!ServerDefaults(defSource, defSink))
    return false;
  TSourceQuery q;
  q.Ml = Ml;
  {
    TLoopLock lock(Ml);
    if (!WaitOperation(Ml, pa_context_get_source_info_list(Ctx, SourceInfoCallback, &q)) ||
        !q.Done || q.Failed)
      return false;
  }
  for (auto &d : q.List)
    if (d.Driver == defSource)
      d.Flags |= kDeviceDefault;
  list = std::move(q.List);
  return true;
}

bool TPulseConnection::SourceExists(const std::string &name)
{
  TLoopLock lock(Ml);
  struct TQ {
    pa_threaded_mainloop *Ml;
    bool Found = false;
  } q{Ml};
  auto cb = [](pa_context *, const pa_source_info *i, int eol, void *user) noexcept {
    auto *qq = static_cast<TQ *>(user);
    if (eol == 0 && i)
      qq->Found = true;
    pa_threaded_mainloop_signal(qq->Ml, 0);
  };
  WaitOperation(Ml, pa_context_get_source_info_by_name(Ctx, name.c_str(), cb, &q));
  return q.Found;
}

} // namespace praatkist::audio::pulse
