/*
 * tessel.h - what a host application sees of the Tessel trading-gateway
 * plug-in: one exported function, the descriptor it returns, the four entry
 * points and the two kinds of callback. Plain C (C99 or later), usable from
 * C++; the library itself is built against this header.
 *
 * A host loads the library (libTessel.so, Tessel.dll), looks up
 * QueryZephCommInterface, and drives clients through the descriptor's entry
 * points. docs/host-guide.md tells the whole story; in short:
 *
 * Texts. Every text passed either way is UTF-8 JSON given as a pointer and
 * a length in bytes. A text the library hands to a callback is followed by a
 * NUL byte that the length does not count, and lives only during the call:
 * copy what you keep.
 *
 * Threads. Callbacks run on the library's own threads: a client's channel
 * threads (answers, pushes, login and connection reports), its timekeeper
 * (the time-out answer), and the host thread that calls SetRealTrade or
 * DestroyClient (the cancellation answer). Several may run at once; answers
 * to one request never overlap, but pushes and answers may. A callback may
 * call SendRequest, SetRealTrade and DestroyClient, DestroyClient of its own
 * client included: that call returns at once, and no callback of the client
 * starts after the current one returns. Do not block a callback for long:
 * the thread that runs it reads that channel's next frames only afterwards.
 *
 * Answers. Every request SendRequest accepts on the main channel gets
 * exactly one answer within 31 seconds: the server's, or one of the
 * library's own texts, which carry "status" and "describe" and no
 * "error_no": {"status":2,"describe":"timeout"} (no answer in time),
 * {"status":1,"describe":"cancel req"} (given up: a server-kind switch,
 * DestroyClient or a new main link), {"status":1,"describe":"req send fail"}
 * (its frame certainly never reached the server). A Login_Trade_Push that
 * times out gets no answer.
 */
#ifndef TESSEL_H
#define TESSEL_H

#include <stddef.h>
#include <stdint.h>

#if defined(_WIN32)
#if defined(TESSEL_BUILDING_LIBRARY)
#define TESSEL_API __declspec(dllexport)
#else
#define TESSEL_API __declspec(dllimport)
#endif
#else
#define TESSEL_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* One client: one account connection, with its own main and push links. */
typedef struct TradeClient TradeClient;

/* Push messages and login/connection status reports of one client. */
typedef void (*HostNotifyCallback)(const char* text, int32_t length);

/* The answer to one request, with the context the host gave it. Called at
 * most once per request (exactly once for an accepted main-channel one). */
typedef void (*RequestCallback)(const char* text, int32_t length, uint64_t context);

/* 80 bytes on 64-bit systems, read by offset. The texts are static. */
typedef struct PluginDescriptor {
  const char* identifier;  /* "Ferrule" */
  const char* displayName; /* "Tessel", GBK */
  const char* englishName; /* "Stock tessel" */
  const char* description; /* GBK */
  const char* extra;       /* always "" */
  int32_t flags;           /* always 0 */

  /* Makes a client and starts connecting its links to the servers of
   * config/system.xml; null when the configuration cannot be used.
   * `notify` receives the client's pushes and status reports. */
  TradeClient* (*createClient)(HostNotifyCallback notify);

  /* Ends both links, answers every outstanding main-channel request with
   * the cancellation text and frees the client; no callback of it runs after
   * it returns (or, called from inside one of its callbacks, after that
   * callback returns). The handle is invalid afterwards; null is ignored. */
  void (*destroyClient)(TradeClient* client);

  /* Hands one request (JSON with a "func" key) to the client. 1: accepted,
   * and `callback` will be called with its answer. 0: refused, nothing sent
   * and nothing will be called; the log's "Request_Refused" entry says why
   * (not JSON, unknown function, a key missing or of the wrong type, the
   * channel it needs not up, too many requests outstanding, ...). */
  int32_t (*sendRequest)(TradeClient* client, const char* data, int32_t length,
                         RequestCallback callback, uint64_t context);

  /* Switches both links to live (1) or simulated (0) servers: outstanding
   * main-channel requests are cancelled, both links end and reconnect to
   * servers of that kind, and the host must log in again. */
  void (*setRealTrade)(TradeClient* client, uint8_t real);
} PluginDescriptor;

/* The one exported function. May be called any number of times. */
TESSEL_API PluginDescriptor QueryZephCommInterface(void);

/* Its type, for a host that looks it up with dlsym or GetProcAddress. */
typedef PluginDescriptor (*QueryZephCommInterfaceFn)(void);

/* The descriptor's layout is part of the binary interface: a build that
 * lays it out otherwise stops here. */
#if UINTPTR_MAX == 0xFFFFFFFFFFFFFFFFu
typedef char tessel_descriptor_is_80_bytes[sizeof(PluginDescriptor) == 80 ? 1 : -1];
typedef char tessel_flags_at_40[offsetof(PluginDescriptor, flags) == 40 ? 1 : -1];
typedef char tessel_create_at_48[offsetof(PluginDescriptor, createClient) == 48 ? 1 : -1];
typedef char tessel_destroy_at_56[offsetof(PluginDescriptor, destroyClient) == 56 ? 1 : -1];
typedef char tessel_send_at_64[offsetof(PluginDescriptor, sendRequest) == 64 ? 1 : -1];
typedef char tessel_switch_at_72[offsetof(PluginDescriptor, setRealTrade) == 72 ? 1 : -1];
#endif

#ifdef __cplusplus
}
#endif

#endif /* TESSEL_H */
