/* Every interleaving of the coefficient exchange. The user-interface thread changes the settings
 * to 1..P and publishes each; the audio thread picks up K times, with up to S stream starts among
 * them, and twice more once the writer has stopped. Each shared-word access is one step; a set is
 * written and read in two halves, so an overlap shows as a torn set. A set's value is settings +
 * 16 * the configuration it was designed for, + 64 when a start designed it. Checked: no thread
 * writes a slot the other reads or writes, no set is read torn, published sets arrive in order,
 * a start never designs older settings than were seen, and at the end the reader holds the newest
 * settings for the newest configuration. Broken variants that must fail: -DRESET (the start
 * resets the indices and designs slot 0), -DNORECHECK (the writer does not publish again when a
 * start changed the configuration under it).
 */
#define FREE 0
#define PUBLISHED 1
#define HELD 2
#define NONE 3
#define NEXT(i) (((i) + 1) % 3)
byte ready[3], halfA[3], halfB[3];
byte writeIndex = 1, readIndex = 0;
byte held = 0, writing = NONE;  /* the slots the reader reads and the writer fills (observers) */
byte params = 0, config = 0, lastSeen = 0, value;
bool writerDone = false;

proctype Writer() {
  byte seq = 1, w, n, t, c;
  do
  :: seq > P -> break
  :: else ->
     params = seq;
again:
     c = config;
     w = writeIndex;
     n = NEXT(w);
     if
     :: ready[w] == FREE -> t = w
     :: else ->
        if
        :: ready[n] == FREE -> t = n
        :: else ->  /* the reclaim's compare-and-exchange */
           atomic { if :: ready[w] == PUBLISHED -> ready[w] = FREE; t = w :: else -> t = n fi }
        fi
     fi;
     writeIndex = t;
     writing = t;
     assert(t != held);
     halfA[t] = seq + 16 * c;
     assert(t != held);
     halfB[t] = seq + 16 * c;
     writing = NONE;
     ready[t] = PUBLISHED;
#if !defined(NORECHECK) && !defined(RESET)
     if :: config != c -> goto again :: else -> skip fi;
#endif
     seq++
  od;
  writerDone = true
}

inline take() {
  r = readIndex;
  n = NEXT(r);
  moved = false;
  atomic { if :: ready[n] == PUBLISHED -> ready[n] = HELD; held = n; moved = true :: else -> skip fi }
  if :: moved -> ready[r] = FREE; r = n :: else -> skip fi;
  readIndex = r
}

inline pickup() {
  take();
  a = halfA[r];
  b = halfB[r];
  assert(a == b);
  value = a;
  if :: a < 64 -> assert(a % 16 >= lastSeen); lastSeen = a % 16 :: else -> skip fi
}

inline start() {
  config++;
#ifdef RESET
  ready[0] = PUBLISHED; ready[1] = FREE; ready[2] = FREE;
  readIndex = 0; writeIndex = 1; r = 0; held = 0;
#else
  take();
  take();
#endif
  a = params;
  assert(a >= lastSeen && r != writing);
  halfA[r] = a + 16 * config + 64;
  assert(r != writing);
  halfB[r] = a + 16 * config + 64;
  starts++
}

proctype Reader() {
  byte r, n, a, b, i, starts;
  bool moved;
  do
  :: i < K -> pickup(); i++
  :: i < K && starts < S -> start(); i++
  :: else -> break
  od;
  writerDone;
  pickup();
  pickup();
  assert(value % 64 == P + 16 * config)
}

init {  /* after the first stream start the reader holds slot 0 */
  atomic { ready[0] = PUBLISHED; run Writer(); run Reader() }
}
