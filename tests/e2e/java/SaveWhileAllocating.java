import java.util.concurrent.atomic.AtomicLongArray;

/**
 * Saves JPEGs with Kestrilo.saveJPEG while another thread allocates without pause, and tells how
 * long that thread's longest single allocation took during each save: an allocation that needs
 * the garbage collector waits while any thread holds a Java array in place.
 *
 * Arguments: one or more saves, each "file width height". The pixels are one photo-like picture
 * of the largest size asked for (smooth shading with fine grain); a smaller save reads its first
 * width x height elements. For each save, one line:
 *   save=N result=R save_ms=T longest_allocation_ms=A allocations=C
 */
public class SaveWhileAllocating {
    static volatile int phase = -1;
    static volatile boolean stop;

    public static void main(String[] args) throws InterruptedException {
        int saves = args.length / 3;
        long largest = 0;
        for (int i = 0; i < saves; ++i) {
            largest = Math.max(largest, (long) Integer.parseInt(args[3 * i + 1])
                                            * Integer.parseInt(args[3 * i + 2]));
        }
        int[] pixels = picture((int) largest);
        AtomicLongArray longest = new AtomicLongArray(saves);
        AtomicLongArray counts = new AtomicLongArray(saves);
        Thread allocator = new Thread(() -> {
            byte[][] kept = new byte[256][];
            int next = 0;
            while (!stop) {
                int now = phase;  // the save under way when the allocation began
                long start = System.nanoTime();
                kept[next++ & 255] = new byte[16384];
                long took = System.nanoTime() - start;
                if (now >= 0) {
                    counts.incrementAndGet(now);
                    if (took > longest.get(now)) longest.set(now, took);
                }
            }
        }, "allocator");
        allocator.setDaemon(true);
        allocator.start();
        Thread.sleep(200);  // the allocator under way, its code compiled
        for (int i = 0; i < saves; ++i) {
            String file = args[3 * i];
            int width = Integer.parseInt(args[3 * i + 1]);
            int height = Integer.parseInt(args[3 * i + 2]);
            phase = i;
            long start = System.nanoTime();
            int result = Kestrilo.saveJPEG(file, pixels, width, height);
            double took = (System.nanoTime() - start) / 1e6;
            phase = -1;
            Thread.sleep(100);  // an allocation begun during the save has ended
            System.out.printf("save=%d result=%d save_ms=%.1f longest_allocation_ms=%.1f "
                              + "allocations=%d%n", i, result, took, longest.get(i) / 1e6,
                              counts.get(i));
        }
        stop = true;
        allocator.join();
    }

    /** Smooth shading with a little grain, so that the JPEG is of a photo's size. */
    static int[] picture(int count) {
        int[] pixels = new int[count];
        int state = 12345;
        for (int i = 0; i < count; ++i) {
            state = state * 1103515245 + 12345;
            int grain = (state >>> 28) & 7;
            int x = i % 4096, y = i / 4096;
            pixels[i] = ((x >> 4) + grain & 0xFF) << 16 | ((y >> 4) + grain & 0xFF) << 8
                        | ((x + y >> 5) + grain & 0xFF);
        }
        return pixels;
    }
}
