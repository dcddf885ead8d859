// pikto-service: the stand-in photo service for Ovrana.Pikto, on loopback by default.

#include "photoservice.h"
#include "serviceoptions.h"

#include <sys/stat.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <pthread.h>
#include <thread>

int main(int argc, char** argv) {
    ServiceOptions options;
    std::string error;
    if (!options.parse(std::vector<std::string>(argv + 1, argv + argc), error)) {
        std::cerr << "pikto-service: " << error << "\n"
                  << "Try 'pikto-service --help'.\n";
        return 2;
    }
    if (options.help) {
        std::cout << ServiceOptions::usage();
        return 0;
    }
    if (!options.readUsers(std::getenv("PIKTO_SERVICE_USERS"), error)) {
        std::cerr << "pikto-service: " << error << "\n";
        return 2;
    }
    // Everything the service writes (database, journal, photos) is its user's only.
    ::umask(077);

    // SIGTERM and SIGINT are taken by one waiting thread, so the stop runs outside a signal
    // handler; every thread started from here on inherits the blocked set.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    PhotoService service(options);
    if (!service.prepare(error)) {
        std::cerr << "pikto-service: " << error << "\n";
        return 1;
    }

    std::thread signalWaiter([&service, stopSignals] {
        int signal = 0;
        sigwait(&stopSignals, &signal);
        service.stop();
    });

    std::cout << "pikto-service listening on " << service.origin() << std::endl;
    const bool served = service.run();
    if (!served) {
        std::cerr << "pikto-service: the server stopped unexpectedly\n";
        // Wake the waiter so it can be joined.
        pthread_kill(signalWaiter.native_handle(), SIGTERM);
    }
    signalWaiter.join();
    return served ? 0 : 1;
}
