#pragma once

#include <string>
#include <vector>

#include "server_tree.h"

// A private server tree laid out by script/apache-tree under the build folder,
// listening on listen ("[address:]port"), with a page of the test's own. Its server is
// stopped and the tree removed when the object goes, whatever the test did.
class PrivateServer {
 public:
  explicit PrivateServer(const std::string& listen);
  PrivateServer(const PrivateServer&) = delete;
  PrivateServer& operator=(const PrivateServer&) = delete;
  ~PrivateServer();

  // Runs the tree's server program with "-k start" and waits for it.
  void Start();
  ServerTree tree() const;
  std::string configFile() const;
  // The mark "-k install" leaves.
  bool Installed() const;
  const std::string& page() const { return page_; }

 private:
  std::string folder_;
  std::string root_;
  std::string page_;
};

// The exit status of a program run with the arguments; stdin is /dev/null.
int Run(const std::vector<std::string>& argv);

// A loopback port no socket uses at the moment of asking.
int FreePort();

struct HttpReply {
  int status = 0;  // 0: no connection, and the body says why
  std::string body;
};

// One GET of "/" over HTTP/1.0.
HttpReply HttpGet(const std::string& address, int port);

// True when a connection to the address and port is refused.
bool Refuses(const std::string& address, int port);
