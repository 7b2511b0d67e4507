; Black and White Bitmap
; Original File: cat.bmp
; 08/12/2026 at 17:40:41
; Pyrolith v1.3.0.4
; Base unit: mm
; Pixel Resolution: 0.5mm
; Using Full Pixel Height
; Laser Off Command: M107
; Laser Print Command: M106 S255
; Laser Low Power Command: M106 S15
; Laser Cut Power Command: M106 S255
; Standard commands used for laser off moves
; Laser Off Speed: 1500 mm/min
; Laser On Speed: 500 mm/min
; Laser Cut Speed: 100 mm/min
; Laser Z-Axis Speed: 200 mm/min
; Laser Trace Speed: 1200 mm/min
; Using optimization
; Do not home Laser at beginning of job
; Do not set Initial Height
; Do not pause at front/center
; Do not trace boundary
; Bitmap image will be printed
; Not using X-offset
; Not using Y-offset
; Not repeating image
; Not using Precision Print Mode
; Not using Fake Extrusion
; Backlash Correction enabled, 0.2 mm
; Perimeter cut not enabled
; Using 3D Printer flavor

G28 X0 Y0

M107	; Laser Off
G90 	; Absolute Positioning
G21 	; Set to mm

G1 F1500 	; Set Laser Off speed

G1 X1 Y0.5 F1500 	; Goto center/center
M106 S15	; Laser on at Low power
G4 P5000	; Pause for 5000
M107

; BEGIN IMAGE
M107
G1 X0.8 Y0 F1500 
G1 X1 Y0 F1500 
M106 S255
G1 X2 Y0 F500 
M107
G1 X2.7 Y0.5 F1500 
G1 X2.5 Y0.5 F1500 
M106 S255
G1 X2 Y0.5 F500 
M107
G1 X1 Y0.5 F1500 
M106 S255
G1 X0.5 Y0.5 F500 
M107
M84

; done
