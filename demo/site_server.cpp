// A small static web site on 127.0.0.1 for `make demo`: serves a folder and prints its address.
#include <httplib.h>
#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

int main(int argc, char** argv) {
  std::string folder;
  int port = 0;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--port" && i + 1 < argc) {
      port = std::atoi(argv[++i]);
    } else {
      folder = a;
    }
  }
  if (folder.empty()) {
    std::fprintf(stderr, "usage: ravelkin-demo-site [--port N] FOLDER\n");
    return 2;
  }
  httplib::Server server;
  if (!server.set_mount_point("/", folder)) {
    std::fprintf(stderr, "ravelkin-demo-site: no folder %s\n", folder.c_str());
    return 2;
  }
  if (port == 0) {
    port = server.bind_to_any_port("127.0.0.1");
  } else if (!server.bind_to_port("127.0.0.1", port)) {
    port = -1;
  }
  if (port <= 0) {
    std::fprintf(stderr, "ravelkin-demo-site: cannot listen on 127.0.0.1\n");
    return 1;
  }
  // SIGINT and SIGTERM stop the server cleanly.
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
  std::thread stopper([&] {
    int sig;
    sigwait(&set, &sig);
    server.stop();
  });
  std::printf("http://127.0.0.1:%d/\n", port);
  std::fflush(stdout);
  server.listen_after_bind();
  stopper.join();
  return 0;
}
