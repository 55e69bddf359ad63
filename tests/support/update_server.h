// A server on loopback that the updater reaches through one line of
// "isp0.dat": an FTP server (ftp_servers.h) or a web server
// (web_server.h), each started by its own class. Tests that do not depend
// on the protocol hold it through this interface.
#pragma once

#include <string>
#include <vector>

namespace test_support {

class UpdateServer {
 public:
  virtual ~UpdateServer() = default;

  // Fields 2 to 5 of a line of "isp0.dat" that names this server with a
  // time-out of 10 s, logging in as `user` (a URL line carries the user
  // in field 5, which the updater ignores).
  virtual std::string LineFields(const std::string& user) const = 0;
  // How the updater names the server in what it says about servers tried:
  // "127.0.0.1:2121" for FTP, the URL for a web server.
  virtual std::string Name() const = 0;
  // The PEM file of the CA that the game folder must trust to reach the
  // server ("[NETWORK] CAFILE="), or "" when it needs none.
  virtual std::string CaFile() const { return ""; }
  // The code of the reply with which the server refuses a file it does
  // not have, which starts the text of such a failure: "550" for FTP,
  // "404" for HTTP.
  virtual std::string MissingFileReply() const = 0;
  // The files clients have asked for so far, relative to the served folder,
  // in the order of the server's log (each server's class says when its
  // log notes a transfer).
  virtual std::vector<std::string> Downloads() const = 0;
  // Stops the server and waits for it to end; idempotent.
  virtual void Stop() = 0;
};

}  // namespace test_support
