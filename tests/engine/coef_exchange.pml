/* Every interleaving of the coefficient exchange and the stream starts, as the engine runs them.
 * The user-interface thread sets its records to 1..P and publishes each set labelled with the
 * generation it read and the rate its design read. The audio thread picks up K times, with up to
 * S stream starts among them (each at a rate chosen freely from two, so rates come back), and
 * twice more once the writer has stopped. Each shared-word access is one step; a set is
 * written and read in two halves, so an overlap shows as a torn set.
 * Checked: no thread writes a slot the other reads or writes; no set is read torn; every set the
 * audio thread starts to use was designed for the current stream (its generation and the rate
 * its design read); the records in use never go back; and at the end the newest records play,
 * designed for the current stream.
 * Variants that must fail:
 *   -DNOGENCHECK the audio thread takes a set labelled for another stream
 *   -DNORECHECK  the writer does not publish again when a start overtook it
 *   -DRATEFIRST  the writer reads the rate before the generation
 *   -DONESTEP    the start's catch-up takes one waiting set, not all of them
 */
#define FREE 0
#define PUBLISHED 1
#define HELD 2
#define NONE 3
#define NEXT(i) (((i) + 1) % 3)
byte ready[3];
byte recA[3], recB[3], genA[3], genB[3], rateA[3], rateB[3];  /* slot contents, two halves */
byte writeIndex = 1, readIndex = 0;
byte held = 0, writing = NONE;  /* the slots the reader last entered and the writer fills (observers) */
byte params = 0;                /* the writer's records */
byte gen = 1, rate = 0;         /* the stream words: generation, and the rate designs use */
bool writerDone = false;

proctype Writer() {
  byte seq = 1, w, n, t, g, rt;
  do
  :: seq > P -> break
  :: else ->
     params = seq;
again:
#ifdef RATEFIRST
     rt = rate;
     g = gen;
#else
     g = gen;
     rt = rate;
#endif
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
     d_step { recA[t] = seq; genA[t] = g; rateA[t] = rt }
     assert(t != held);
     d_step { recB[t] = seq; genB[t] = g; rateB[t] = rt }
     writing = NONE;
     ready[t] = PUBLISHED;
#ifndef NORECHECK
     if :: gen != g -> goto again :: else -> skip fi;
#endif
     seq++
  od;
  writerDone = true
}

/* The reader's step: enter the next slot when it holds a published set, then let go of the old. */
inline take() {
  n = NEXT(r);
  atomic { if :: ready[n] == PUBLISHED -> ready[n] = HELD; held = n; moved = true :: else -> moved = false fi }
  if :: moved -> ready[r] = FREE; r = n; readIndex = r :: else -> skip fi
}

/* The block cycle's pickup, passing over a set labelled for an earlier stream. */
inline pickup() {
  take();
  if
  :: r == taken -> skip
  :: else ->
     taken = r;
     a = recA[r];
     assert(a == recB[r] && genA[r] == genB[r] && rateA[r] == rateB[r]);
#ifdef NOGENCHECK
     if :: true ->
#else
     if :: genA[r] == gen ->
#endif
           assert(rateA[r] == rate && genA[r] == gen);
           assert(a >= inUse);
           inUse = a;
           inUseGen = genA[r];
           inUseRate = rateA[r]
        :: else -> skip
     fi
  fi
}

inline start() {
  if :: rate = 0 :: rate = 1 fi;  /* stored before the generation */
  gen++;
  take();
#ifndef ONESTEP
  take();
#endif
  a = recA[r];                    /* the held set's own records */
  assert(r != writing);
  d_step { recA[r] = a; genA[r] = gen; rateA[r] = rate }
  assert(r != writing);
  d_step { recB[r] = a; genB[r] = gen; rateB[r] = rate }
  taken = NONE;                   /* a new stream takes the held set at its first pickup */
  starts++
}

/* K steps among the writer's, then, once it has stopped, the pickups that catch up: each of the
 * two operations appears once, so every one of its steps counts as reached only if it is. */
proctype Reader() {
  byte r = 0, n, a, i, starts, taken = 0, inUse = 0, inUseGen = 1, inUseRate = 0;
  bool moved;
  do
  :: i < K || (writerDone && i < K + 2) -> pickup(); i++
  :: i < K && starts < S -> start(); i++
  :: i == K + 2 -> break
  od;
  assert(inUse == P && inUseRate == rate && inUseGen == gen)
}

init {  /* after the first stream start the reader holds slot 0, designed for stream 1 at rate 0 */
  atomic {
    ready[0] = PUBLISHED;
    genA[0] = 1; genB[0] = 1;
    run Writer(); run Reader()
  }
}
