#include "install_root.h"
#include "server_tree.h"

ServerTree InstalledServerTree() {
  const std::string root = kInstallRoot;
  return {root + "/conf/httpd.conf", root + "/bin/httpd"};
}
