/*
 * host.c - a whole host of the Tessel plug-in in C99: load the library, make
 * a client, log in on both channels, buy 100 of 600519 at up to 1800 (the
 * simulator's price is 1700: it fills at once), print the answer and the
 * pushes that follow, destroy the client, unload.
 *
 *   host [LIBRARY]   default: TESSEL_PLUGIN_PATH if defined when compiled,
 *                    else the file name alone, found as the loader finds it
 *
 * The library reads config/system.xml and ca.pem in the folder TESSEL_HOME
 * names (else the executable's). Exits with 0 once every request was
 * answered and a push came.
 */
#ifndef _WIN32
#define _POSIX_C_SOURCE 200809L /* nanosleep under -std=c99 */
#endif
#include <stdio.h>
#include <string.h>

#include "tessel.h"

#ifdef _WIN32
#include <windows.h>
#define DEFAULT_PLUGIN "Tessel.dll"
typedef HMODULE Library;
static Library open_library(const char *path) { return LoadLibraryA(path); }
static void close_library(Library library) { FreeLibrary(library); }
static QueryZephCommInterfaceFn find_query(Library library) {
  FARPROC symbol = GetProcAddress(library, "QueryZephCommInterface");
  return (QueryZephCommInterfaceFn)(void (*)(void))symbol; /* void (*)(void) fits any */
}
static SRWLOCK output = SRWLOCK_INIT;
static void lock(void) { AcquireSRWLockExclusive(&output); }
static void unlock(void) { ReleaseSRWLockExclusive(&output); }
static void tick(void) { Sleep(100); }
#else
#include <dlfcn.h>
#include <pthread.h>
#include <time.h>
#define DEFAULT_PLUGIN "libTessel.so"
typedef void *Library;
static Library open_library(const char *path) { return dlopen(path, RTLD_NOW | RTLD_LOCAL); }
static void close_library(Library library) { dlclose(library); }
static QueryZephCommInterfaceFn find_query(Library library) {
  /* ISO C casts no object pointer to a function pointer; POSIX makes them
   * alike, so the bytes are copied. */
  void *symbol = dlsym(library, "QueryZephCommInterface");
  QueryZephCommInterfaceFn query = NULL;
  if (symbol != NULL) memcpy(&query, &symbol, sizeof query);
  return query;
}
static pthread_mutex_t output = PTHREAD_MUTEX_INITIALIZER;
static void lock(void) { pthread_mutex_lock(&output); }
static void unlock(void) { pthread_mutex_unlock(&output); }
static void tick(void) {
  const struct timespec pause = {0, 100000000L};
  nanosleep(&pause, NULL);
}
#endif
#ifndef TESSEL_PLUGIN_PATH
#define TESSEL_PLUGIN_PATH DEFAULT_PLUGIN
#endif

/* Callbacks come on the library's threads, several at once: what they
 * share with main, and stdout, are used under the lock. */
static uint64_t answered; /* the context of the newest answer */
static int pushes;

static void on_notify(const char *text, int32_t length) {
  const int push = strstr(text, "\"push_type\"") != NULL; /* texts end in a NUL */
  lock();
  printf("%s %.*s\n", push ? "** push:" : "** status:", (int)length, text);
  fflush(stdout);
  pushes += push;
  unlock();
}

static void on_answer(const char *text, int32_t length, uint64_t context) {
  lock();
  printf("<- answer #%lu: %.*s\n", (unsigned long)context, (int)length, text);
  fflush(stdout);
  answered = context;
  unlock();
}

/* Polls for up to `seconds` until request `context` is answered and at
 * least `want` pushes came. */
static int wait_for(uint64_t context, int want, int seconds) {
  int ticks, done = 0;
  for (ticks = 0; !done && ticks <= seconds * 10; ++ticks) {
    if (ticks > 0) tick();
    lock();
    done = answered >= context && pushes >= want;
    unlock();
  }
  return done;
}

/* Sends one request, retried for up to 20 s while refused (a channel refuses
 * until its link is up; the log says why), and waits for its answer, which
 * comes within 31 s. */
static int request(const PluginDescriptor *tessel, TradeClient *client, const char *json,
                   uint64_t context) {
  int ticks = 0;
  lock();
  printf("-> request #%lu: %s\n", (unsigned long)context, json);
  unlock();
  while (tessel->sendRequest(client, json, (int32_t)strlen(json), on_answer, context) != 1) {
    if (++ticks > 200) {
      fprintf(stderr, "request #%lu refused\n", (unsigned long)context);
      return 0;
    }
    tick();
  }
  return wait_for(context, 0, 40);
}

#define LOGIN "\"user_name\":\"demo\",\"pass_word\":\"secret\",\"heart_beat\":30," \
              "\"compress\":0,\"encrypt\":0}"
#define ORDER "{\"func\":\"OrderSubmit\",\"user_name\":\"demo\",\"client_id\":\"demo\"," \
  "\"fund_account\":\"demo-01\",\"operator_id\":\"demo-op\",\"code\":\"600519\",\"mark\":49," \
  "\"code_name\":\"Kweichow Moutai\",\"entrust_vol\":100,\"entrust_price\":1800," \
  "\"entrust_bs\":49,\"entrust_prop\":48,\"business_type\":48,\"allow_cancel_order\":49}"

int main(int argc, char **argv) {
  const char *path = argc > 1 ? argv[1] : TESSEL_PLUGIN_PATH;
  const Library library = open_library(path);
  const QueryZephCommInterfaceFn query = library != NULL ? find_query(library) : NULL;
  PluginDescriptor tessel;
  TradeClient *client;
  int ok = 0, ticks;
  if (query == NULL) {
    fprintf(stderr, "cannot load QueryZephCommInterface from %s\n", path);
    if (library != NULL) close_library(library);
    return 1;
  }
  tessel = query();
  printf("loaded %s: %s\n", path, tessel.englishName);
  client = tessel.createClient(on_notify);
  if (client == NULL) {
    fprintf(stderr, "no client: is config/system.xml in TESSEL_HOME?\n");
  } else {
    ok = request(&tessel, client, "{\"func\":\"Login\"," LOGIN, 1) &&
         request(&tessel, client, "{\"func\":\"Login_Trade_Push\"," LOGIN, 2) &&
         request(&tessel, client, ORDER, 3) && wait_for(3, 1, 30);
    for (ticks = 0; ok && ticks < 10; ++ticks) tick(); /* the fill's other pushes */
    tessel.destroyClient(client); /* no callback runs once this returns */
  }
  close_library(library);
  printf("%s\n", ok ? "done" : "failed");
  return ok ? 0 : 1;
}
