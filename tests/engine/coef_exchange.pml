/* Every interleaving of the coefficient exchange: the user-interface thread publishes P sets
 * stamped 1..P, the audio thread picks up K times while it publishes and twice more after it has
 * stopped. Each shared-word access is one step. A set is written and read in two halves, so a
 * write that overlaps a read shows as a torn set.
 *
 * Checked in every interleaving:
 *   - the slot the reader holds is never written (and no set is read torn);
 *   - the stamps the reader sees never go backwards;
 *   - once publishing stops, two pickups reach the newest set (none is lost to an older one).
 * Built with -DNOCAS, the writer reclaims with a plain clear and re-read and the reader enters a
 * slot with plain stores; that variant must fail.
 */
#ifndef P
#define P 4
#endif
#ifndef K
#define K 3
#endif
#define FREE 0
#define PUBLISHED 1
#define HELD 2
#define NEXT(i) (((i) + 1) % 3)

byte ready[3];
byte writeIndex = 1;
byte readIndex = 0;
byte halfA[3];          /* slot contents: the stamp, written in two halves */
byte halfB[3];
byte held = 0;          /* the slot the reader reads from (observer only) */
bool writerDone = false;

proctype Writer() {
  byte seq = 1, w, n, t;
  do
  :: seq > P -> break
  :: else ->
     w = writeIndex;
     n = NEXT(w);
     if
     :: ready[w] == FREE -> t = w
     :: else ->
        if
        :: ready[n] == FREE -> t = n
        :: else ->
#ifdef NOCAS
           ready[w] = FREE;
           if
           :: ready[n] == FREE -> t = n
           :: else -> t = w
           fi
#else
           atomic {
             if
             :: ready[w] == PUBLISHED -> ready[w] = FREE; t = w
             :: else -> t = n
             fi
           }
#endif
        fi
     fi;
     writeIndex = t;
     assert(t != held);
     halfA[t] = seq;
     assert(t != held);
     halfB[t] = seq;
     ready[t] = PUBLISHED;
     seq++
  od;
  writerDone = true
}

byte lastSeen = 0;

inline pickup() {
  r = readIndex;
  n = NEXT(r);
#ifdef NOCAS
  if
  :: ready[n] != FREE ->
     held = n;          /* from here on the reader will read n */
     ready[r] = FREE;
     ready[n] = PUBLISHED;
     r = n
  :: else -> skip
  fi;
#else
  moved = false;
  atomic {
    if
    :: ready[n] == PUBLISHED -> ready[n] = HELD; held = n; moved = true
    :: else -> skip
    fi
  }
  if
  :: moved -> ready[r] = FREE; r = n
  :: else -> skip
  fi;
#endif
  readIndex = r;
  a = halfA[r];
  b = halfB[r];
  assert(a == b);           /* not torn */
  assert(a >= lastSeen);    /* never backwards */
  lastSeen = a
}

proctype Reader() {
  byte r, n, a, b, i;
  bool moved;
  i = 0;
  do
  :: i < K -> pickup(); i++
  :: else -> break
  od;
  writerDone;
  pickup();
  pickup();
  assert(lastSeen == P)     /* the newest set arrives */
}

/* The state after the stream start (or configuration): the reader holds slot 0. */
init {
  atomic {
    ready[0] = 1;
    run Writer();
    run Reader()
  }
}
