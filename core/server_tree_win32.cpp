#include "server_tree.h"

ServerTree InstalledServerTree() {
  return {"C:\\Program Files\\Apache2\\conf\\httpd.conf", "C:\\Program Files\\Apache2\\bin\\apache"};
}
