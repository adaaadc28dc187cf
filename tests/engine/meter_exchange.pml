/* Every interleaving of the meter exchange: the audio thread publishes P snapshots stamped 1..P
 * (skipping when both slots are unread), the user-interface thread reads K times meanwhile and
 * once more after the last publication. Each shared-word access is one step; a snapshot is
 * written and read in two halves.
 *
 * Checked: the slot being read is never written, no snapshot is read torn, stamps never go
 * backwards, and the last published snapshot is read once publishing stops.
 */
#ifndef P
#define P 4
#endif
#ifndef K
#define K 3
#endif
#define OTHER(i) (1 - (i))

byte ready[2];
byte writeIndex = 1;
byte readIndex = 0;
byte halfA[2];
byte halfB[2];
byte reading = 0;        /* the slot the reader reads from (observer only) */
byte lastPublished = 0;
bool writerDone = false;

proctype Writer() {
  byte seq = 1, w, o, t;
  do
  :: seq > P -> break
  :: else ->
     w = writeIndex;
     o = OTHER(w);
     if
     :: ready[w] == 0 -> t = w
     :: else ->
        if
        :: ready[o] == 0 -> t = o
        :: else -> t = 2          /* both unread: skip this publication */
        fi
     fi;
     if
     :: t < 2 ->
        writeIndex = t;
        assert(t != reading);
        halfA[t] = seq;
        assert(t != reading);
        halfB[t] = seq;
        ready[t] = 1;
        lastPublished = seq
     :: else -> skip
     fi;
     seq++
  od;
  writerDone = true
}

byte lastSeen = 0;

inline readMeters() {
  r = readIndex;
  o = OTHER(r);
  if
  :: ready[o] != 0 -> reading = o; ready[r] = 0; r = o
  :: else -> skip
  fi;
  readIndex = r;
  a = halfA[r];
  b = halfB[r];
  assert(a == b);
  assert(a >= lastSeen);
  lastSeen = a
}

proctype Reader() {
  byte r, o, a, b, i;
  i = 0;
  do
  :: i < K -> readMeters(); i++
  :: else -> break
  od;
  writerDone;
  readMeters();
  assert(lastSeen == lastPublished)
}

/* The state after the stream start (or configuration): the reader holds slot 0. */
init {
  atomic {
    ready[0] = 1;
    run Writer();
    run Reader()
  }
}
