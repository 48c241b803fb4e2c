#pragma once
// Turns one request message into a call on the control of its origin and
// the call's outcome into an answer message.
#include <string>

#include "bridge/host/control_pool.h"

namespace bridge {

class Dispatcher {
 public:
  explicit Dispatcher(ControlPool& pool) : m_pool(pool) {}
  // The answer's JSON text (not yet split into chunks); *idJson receives
  // the id the answer carries.
  std::string Handle(const std::string& message, std::string* idJson);

 private:
  ControlPool& m_pool;
};

// The text for a failure code: the host's own for the dispatch codes, the
// system's for the rest.
std::string DescribeFailure(HRESULT hr);

}  // namespace bridge
